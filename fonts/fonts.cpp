#include "fonts/fonts.h"

#include <stdio.h>

#include "platform/platform.h"

/* Per window; a hung window is skipped at once, a slow one gets this long. */
static const unsigned BROADCAST_TIMEOUT_MS = 5000;

/*
 * Asked through the path as typed where there is one: the 8-bit path has
 * "?" for every character the ANSI code page lacks.
 */
int
FileExists(const char *path, const char16_t *typed)
{
	int status = typed != nullptr ? plat::StatPathW(typed) : plat::STAT_UNAVAILABLE;
	if (status == plat::STAT_UNAVAILABLE)
		status = plat::StatPath(path);
	return status == 0;
}

/* Reports on the file only; the font itself is not copied or registered. */
int
InstallFontIntoWindows(const char *path, const char16_t *typed, const char *shown)
{
	printf("Jmeno fontu %s\n", shown);
	printf("Existuje ? %d\n", FileExists(path, typed));
	return 1;
}

/* The value is used in place: it may be as long as the command line. */
void
RefreshFonts(const char *font, const char16_t *typed, const char *shown)
{
	if (font[0] != '\0') {
		printf("Adding font %s ... ", shown);
		if (InstallFontIntoWindows(font, typed, shown))
			printf("OK\n");
	}
	printf("Refreshing fonts ... ");
	uintptr_t result;
	plat::SendMessageTimeoutA(plat::BROADCAST_WINDOW, plat::FONTCHANGE_MESSAGE, 0,
	                          0, plat::ABORT_IF_HUNG, BROADCAST_TIMEOUT_MS, &result);
	printf("OK\n");
}
