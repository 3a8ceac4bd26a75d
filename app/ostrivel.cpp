/*
 * Ostrivel: console window handles, title and close button, system
 * information and font refresh, for batch files.
 */
#include "app/ostrivel.h"

#include <stdio.h>
#include <string.h>

#include "console/console.h"
#include "fonts/fonts.h"
#include "platform/platform.h"
#include "sysinfo/sysinfo.h"

void
Usage(void)
{
	printf("\nOstrivel v1.0\n");
	printf("  usage:\n");
	printf("    /t\"TitleCaptionText\" - set TITLE of active console\n");
	printf("    /c - return HWND number of active Console\n");
	printf("    /f - return HWND of Foreground window\n");
	printf("    /i - return all Information (HWNDs of active console, active window, ...)\n");
	printf("    /r - refresh fonts (announce all the application)\n");
	printf("    /x - disable close button\n");
	printf("\n");
}

/* Room for any argument of a command line in a double-byte code page. */
static char ansiarg[65536];

/*
 * main's arguments as typed, in UTF-16, or nullptr. main's were made from
 * the same command line through the ANSI code page, which loses what that
 * page lacks; the wide vector is trusted only where it says the same: as
 * many arguments, each converting back to main's exactly.
 */
static char16_t **
TypedArguments(int argc, char **argv)
{
	int wargc = 0;
	char16_t **wargv = plat::GetMainArgsW(&wargc);
	if (wargv == nullptr || wargc != argc)
		return nullptr;
	for (int i = 0; i < argc; i++)
		if (plat::WideCharToMultiByte(wargv[i], ansiarg, sizeof ansiarg) == 0 ||
		    strcmp(ansiarg, argv[i]) != 0)
			return nullptr;
	return wargv;
}

/* Compared once per walk, and only once an option needs a value. */
struct Typed {
	bool known;
	char16_t **args;
};

/* The value of option argument index as typed, or nullptr. */
static const char16_t *
TypedValue(Typed *typed, int argc, char **argv, int index)
{
	if (!typed->known) {
		typed->known = true;
		typed->args = TypedArguments(argc, argv);
	}
	return typed->args != nullptr ? typed->args[index] + 2 : nullptr;
}

/*
 * Options act in the order given and none ends the walk. Only t and r read
 * a value: the rest of the argument after the letter.
 */
void
HandleOptions(int argc, char **argv)
{
	Typed typed = {false, nullptr};
	for (int i = 1; i < argc; i++) {
		const char *arg = argv[i];
		if (arg[0] != '/' && arg[0] != '-')
			continue;
		switch (arg[1]) {
		case '?':
			Usage();
			break;
		case 'C':
		case 'c':
			WriteHWNDConsole(0);
			break;
		case 'F':
		case 'f':
			WriteHWNDForeground(0);
			break;
		case 'I':
		case 'i':
			WriteInformation();
			break;
		case 'R':
		case 'r':
			RefreshFonts(arg + 2, TypedValue(&typed, argc, argv, i));
			break;
		case 'T':
		case 't':
			SetTitle(arg + 2, TypedValue(&typed, argc, argv, i));
			break;
		case 'X':
		case 'x':
			DisableCloseButton();
			break;
		default:
			printf("unknown option %s\n", arg);
			break;
		}
	}
}
