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
 * a notification: it returns at once and no answer is owed to the program,
 * which may have ended before a slow window gets to it.
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
 * A thread handles what is sent to its windows in the order it came, so a
 * WM_NULL sent after the notifications returns once that thread has handled
 * the font change in each of its windows. The probe is a plain send with a
 * time-out: it returns by the deadline whatever the thread does, at once
 * for a thread the system calls hung (SMTO_ABORTIFHUNG, 95 and later), for
 * a send the system refuses or drops (UIPI), and for a thread that ends.
 * Nothing is left owed to the program when it ends, and only this /r's
 * probes are waited for.
 *
 * SendMessageTimeout to HWND_BROADCAST would give each window the whole
 * time-out in turn; one probe a thread, one deadline for all, bounds /r at
 * BROADCAST_WAIT_MS however many threads are slow. A time-out of 0 waits
 * for ever (so Microsoft warns, and so Wine and ReactOS read it): the last
 * probe never gets one. IsHungAppWindow (2000 and later) is asked too:
 * ReactOS's SMTO_ABORTIFHUNG waits for a thread silent for less than 20 s,
 * its IsHungAppWindow calls it hung after 5 s as Windows does. The tick
 * count wraps every 49.7 days: only differences of it are compared.
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
