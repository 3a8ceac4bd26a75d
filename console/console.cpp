#include "console/console.h"

#include <cstdio>

/* A title no other window has, so the window manager finds ours by it. */
const char temptitle[] = "{98C1C303-2A9E-11d4-9FF5-006067718D05}";

/*
 * The user's title must come back whole, so the buffer holds the longest
 * title a console keeps (under 64 KiB). Static: too large for the stack.
 */
static char savedtitle[65536];

plat::WindowHandle
FindConsoleHandle(void)
{
	if (plat::GetConsoleTitleA(savedtitle, sizeof savedtitle) == 0)
		return 0;
	plat::SetConsoleTitleA(temptitle);
	plat::Sleep(50);
	plat::WindowHandle window = plat::FindWindowA(nullptr, temptitle);
	plat::SetConsoleTitleA(savedtitle);
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
