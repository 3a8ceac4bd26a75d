#include "fonts/fonts.h"

#include <stdio.h>

#include "platform/platform.h"

/* The longest /r waits for windows to answer, however many there are. */
static const unsigned BROADCAST_WAIT_MS = 5000;

/* Windows waited for, and those of them that have answered. */
static unsigned awaited, answered;

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

static void
Answered(plat::WindowHandle, unsigned, uintptr_t, intptr_t)
{
	answered++;
}

/*
 * Every top-level window gets the message, as a broadcast would give it, but
 * the send returns at once: the answers come back while BroadcastFontChange
 * takes its messages. A window the system calls hung (no message taken for
 * 5 s) is not waited for: it is notified, and, like a slow one, gets the
 * message when it answers again.
 */
static int
SendFontChange(plat::WindowHandle window, intptr_t)
{
	if (plat::IsHungAppWindow(window))
		plat::SendNotifyMessageA(window, plat::FONTCHANGE_MESSAGE, 0, 0);
	else if (plat::SendMessageCallbackA(window, plat::FONTCHANGE_MESSAGE, 0, 0, Answered, 0))
		awaited++;
	return 1;
}

/*
 * SendMessageTimeout to HWND_BROADCAST gives each window the whole time-out
 * in turn, so slow windows add up: eight of one program, 2 s each, held a
 * batch file for 16 s. Sent to each window at once instead, the answers are
 * waited for together, for BROADCAST_WAIT_MS in all. The tick count wraps
 * every 49.7 days: only differences of it are compared.
 */
static void
BroadcastFontChange(void)
{
	awaited = answered = 0;
	unsigned start = plat::GetTickCount();
	plat::EnumWindows(SendFontChange, 0);
	for (;;) {
		plat::Message message;
		/* Answers run here; nothing posted to a program without windows matters. */
		while (plat::PeekMessageA(&message, 0, 0, 0, plat::REMOVE_MESSAGE))
			;
		unsigned waited = plat::GetTickCount() - start;
		if (answered >= awaited || waited >= BROADCAST_WAIT_MS)
			return;
		plat::MsgWaitForMultipleObjects(0, nullptr, 0, BROADCAST_WAIT_MS - waited,
		                                plat::ANY_MESSAGE);
	}
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
	BroadcastFontChange();
	printf("OK\n");
}
