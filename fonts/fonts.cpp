#include "fonts/fonts.h"

#include <stdio.h>

#include "platform/platform.h"

/* The longest /r waits for windows to answer, however many there are. */
static const unsigned BROADCAST_WAIT_MS = 5000;

/*
 * Window threads seen by one /r, each with one of its windows to probe. A
 * desktop has far fewer; threads past the last slot are notified all the
 * same, only not waited for.
 */
enum { MAX_THREADS = 1024 };
static struct {
	uint32_t thread;
	plat::WindowHandle window;
} threads[MAX_THREADS];
static unsigned threadCount;

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

/*
 * Every top-level window gets the message, as a broadcast would give it, by
 * a notification, which returns at once; its thread is kept for the probe.
 */
static int
SendFontChange(plat::WindowHandle window, intptr_t)
{
	plat::SendNotifyMessageA(window, plat::FONTCHANGE_MESSAGE, 0, 0);
	uint32_t thread = plat::GetWindowThreadProcessId(window);
	if (thread == 0)
		return 1;
	for (unsigned i = 0; i < threadCount; i++)
		if (threads[i].thread == thread)
			return 1;
	if (threadCount < MAX_THREADS) {
		threads[threadCount].thread = thread;
		threads[threadCount].window = window;
		threadCount++;
	}
	return 1;
}

/*
 * A thread handles what is sent to its windows in the order sent, so a
 * WM_NULL sent after the notifications returns once that thread has handled
 * the font change in each of its windows. Each probe gets what is left of
 * one deadline, and none is sent once it has passed: a time-out of 0 waits
 * for ever. IsHungAppWindow skips a thread hung for 5 s, where ReactOS's
 * SMTO_ABORTIFHUNG waits until 20 s. The tick count wraps: only differences
 * of it are compared.
 */
static void
BroadcastFontChange(void)
{
	threadCount = 0;
	unsigned start = plat::GetTickCount();
	plat::EnumWindows(SendFontChange, 0);
	for (unsigned i = 0; i < threadCount; i++) {
		unsigned waited = plat::GetTickCount() - start;
		if (waited >= BROADCAST_WAIT_MS)
			return;
		if (plat::IsHungAppWindow(threads[i].window))
			continue;
		uintptr_t result;
		plat::SendMessageTimeoutA(threads[i].window, plat::NULL_MESSAGE, 0, 0,
		                          plat::ABORT_IF_HUNG, BROADCAST_WAIT_MS - waited, &result);
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
