#include "fonts/fonts.h"

#include <stdio.h>

#include "platform/platform.h"

/* Per window; a hung window is skipped at once, a slow one gets this long. */
static const unsigned BROADCAST_TIMEOUT_MS = 5000;

int
FileExists(const char *path)
{
	return plat::StatPath(path) == 0;
}

/* Reports on the file only; the font itself is not copied or registered. */
int
InstallFontIntoWindows(const char *path)
{
	printf("Jmeno fontu %s\n", path);
	printf("Existuje ? %d\n", FileExists(path));
	return 1;
}

/* The value is used in place: it may be as long as the command line. */
void
RefreshFonts(const char *font)
{
	if (font[0] != '\0') {
		printf("Adding font %s ... ", font);
		if (InstallFontIntoWindows(font))
			printf("OK\n");
	}
	printf("Refreshing fonts ... ");
	uintptr_t result;
	plat::SendMessageTimeoutA(plat::BROADCAST_WINDOW, plat::FONTCHANGE_MESSAGE, 0,
	                          0, plat::ABORT_IF_HUNG, BROADCAST_TIMEOUT_MS, &result);
	printf("OK\n");
}
