/*
 * Ostrivel: console window handles, title and close button, system
 * information and font refresh, for batch files.
 */
#include "app/ostrivel.h"

#include <stdio.h>
#include <string.h>

#include "app/version.h"
#include "console/console.h"
#include "fonts/fonts.h"
#include "platform/platform.h"
#include "sysinfo/sysinfo.h"

void
Usage(void)
{
	printf("\nOstrivel v" OSTRIVEL_VERSION "\n");
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
		if (plat::WideCharToMultiByte(plat::ANSI_CODE_PAGE, 0, wargv[i], ansiarg,
		                              sizeof ansiarg) == 0 ||
		    strcmp(ansiarg, argv[i]) != 0)
			return nullptr;
	return wargv;
}

/* Compared once per walk, and only once an option needs the typed form. */
struct Typed {
	bool known;
	char16_t **args;
};

/* A value of the longest command line, 32 767 characters, widened. */
static char16_t widened[32768];

/* Argument index from offset on as typed, or nullptr. */
static const char16_t *
AsTyped(Typed *typed, int argc, char **argv, int index, int offset)
{
	if (!typed->known) {
		typed->known = true;
		typed->args = TypedArguments(argc, argv);
	}
	return typed->args != nullptr ? typed->args[index] + offset : nullptr;
}

/*
 * The same in UTF-16 however it comes: as typed, else (the 9x family, a wide
 * vector that does not match) widened from the ANSI page; nullptr where
 * neither is to be had.
 */
static const char16_t *
Wide(Typed *typed, int argc, char **argv, int index, int offset)
{
	const char16_t *wide = AsTyped(typed, argc, argv, index, offset);
	if (wide == nullptr &&
	    plat::MultiByteToWideChar(plat::ANSI_CODE_PAGE, argv[index] + offset, widened,
	                              sizeof widened / sizeof *widened) != 0)
		wide = widened;
	return wide;
}

static bool
IsAscii(const char16_t *wide)
{
	for (; *wide != 0; wide++)
		if (*wide >= 0x80)
			return false;
	return true;
}

/* A value of the longest command line in any code page. */
static char shown[4 * 32768];

/*
 * text as the console shows it. main's bytes are in the ANSI code page, but
 * the console, for /f and cmd's redirections read the output in the
 * console's output page (OEM: 437, 850, 852...), so an echoed value is
 * converted to that page from wide, the same text in UTF-16. A character
 * the page lacks shows as its default character, never as a look-alike,
 * where the page and the system allow that (UTF-8 refuses the flag, and 95
 * to NT 4 may). As it is where there is no console, or it does not convert.
 */
static const char *
Shown(const char *text, const char16_t *wide)
{
	if (wide == nullptr || IsAscii(wide))
		return text; /* ASCII is the same bytes in every console's page */
	unsigned page = plat::GetConsoleOutputCP();
	if (page == 0 ||
	    (plat::WideCharToMultiByte(page, plat::NO_BEST_FIT, wide, shown, sizeof shown) == 0 &&
	     plat::WideCharToMultiByte(page, 0, wide, shown, sizeof shown) == 0))
		return text;
	return shown;
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
			/* Looked up as typed only: the 9x family's wide queries fail. */
			RefreshFonts(arg + 2, AsTyped(&typed, argc, argv, i, 2),
			             Shown(arg + 2, Wide(&typed, argc, argv, i, 2)));
			break;
		case 'T':
		case 't':
			SetTitle(arg + 2, Wide(&typed, argc, argv, i, 2));
			break;
		case 'X':
		case 'x':
			DisableCloseButton();
			break;
		default:
			printf("unknown option %s\n", Shown(arg, Wide(&typed, argc, argv, i, 0)));
			break;
		}
	}
}
