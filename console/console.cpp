#include "console/console.h"

#include <cstdio>

/* A title no other window has, so the window manager finds ours by it. */
const char temptitle[] = "{98C1C303-2A9E-11d4-9FF5-006067718D05}";

/*
 * The user's title must come back whole. A Windows console title stays under
 * 64 KiB; the buffer has room for one byte more than that, so a title that
 * does not fit is known whether the system reports its full length or the
 * truncated one. Static: too large for the stack.
 */
enum { TITLE_MAX = 65535 };
static char savedtitle[TITLE_MAX + 2];

/*
 * Gives the console a title no other window has and asks the window manager
 * for the window with it. A title that cannot be saved whole is left alone.
 */
plat::WindowHandle
FindConsoleHandle(void)
{
	plat::WindowHandle window = 0;

	plat::BeginTitleGuard();
	unsigned len = plat::GetConsoleTitleA(savedtitle, sizeof savedtitle);
	if (len != 0 && len <= TITLE_MAX) {
		plat::SetConsoleTitleA(temptitle);
		plat::Sleep(50);
		window = plat::FindWindowA(nullptr, temptitle);
		plat::SetConsoleTitleA(savedtitle);
	}
	plat::EndTitleGuard();
	return window;
}

/* Handles are printed as their low 32 bits, all a window handle carries. */
static void
WriteHWND(const char *label, plat::WindowHandle window, int labelled)
{
	unsigned number = static_cast<unsigned>(window);
	if (labelled)
		std::printf("hwnd %s=%u\n", label, number);
	else
		std::printf("%u", number);
}

void
WriteHWNDConsole(int labelled)
{
	WriteHWND("console", FindConsoleHandle(), labelled);
}

void
WriteHWNDForeground(int labelled)
{
	WriteHWND("foreground", plat::GetForegroundWindow(), labelled);
}

void
DisableCloseButton(void)
{
	plat::WindowHandle window = FindConsoleHandle();
	plat::MenuHandle menu = plat::GetSystemMenu(window, 0);
	plat::DeleteMenu(menu, plat::CLOSE_COMMAND, plat::BY_COMMAND);
	plat::SetWindowPos(window, 0, 0, 0, 0, 0, plat::FRAME_REFRESH);
}
