/*
 * An ordinary top-level window that logs every WM_FONTCHANGE it receives.
 *
 *   window_probe LOG READY [caption TEXT] [hang | held] [slow MS] [ends MS] [windows N]
 *                [quiet]
 *
 * Creates the window (N of them, all in one thread, with "windows"), writes
 * their handles to READY, one a line (whole once it exists), then pumps
 * messages, appending one line "WM_FONTCHANGE TICK HWND" to LOG per
 * WM_FONTCHANGE, TICK being GetTickCount's (one clock for every process of
 * a Wine session).
 * With "hang" it stops pumping once READY is written, as a hung application
 * does; with "held" it starts again once READY.go exists. With "slow" it
 * takes MS milliseconds to answer each WM_FONTCHANGE, then appends
 * "returned TICK HWND" just before it does. With "ends" the program ends
 * (ExitProcess) MS milliseconds into the first WM_FONTCHANGE, after
 * appending "ends TICK HWND". With "caption" the
 * window is captioned TEXT and stays above all others (topmost); it appends
 * "frame TICK" whenever another program changes its frame (SetWindowPos
 * with SWP_FRAMECHANGED), and "close STATE TICK" with the state of Close in
 * its own system menu (GetMenuState: -1 once Close is gone) at its start
 * and again on WM_CLOSE, after every message sent or posted before it.
 * With "quiet" it logs nothing (for timings). Ends on WM_CLOSE or when
 * killed.
 */
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char *logPath;
static DWORD answerDelay, endDelay;
static bool captioned, ready, quiet;

static void
Log(const char *what, HWND window = nullptr)
{
	FILE *f = quiet ? nullptr : std::fopen(logPath, "ab");
	if (f != nullptr) {
		std::fprintf(f, "%s %lu %lu\n", what, GetTickCount(), (unsigned long)(ULONG_PTR)window);
		std::fclose(f);
	}
}

static void
LogClose(HWND window)
{
	char line[32];
	std::snprintf(line, sizeof line, "close %d",
	              (int)GetMenuState(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND));
	Log(line);
}

static LRESULT CALLBACK
WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
	if (message == WM_FONTCHANGE) {
		Log("WM_FONTCHANGE", window);
		if (endDelay != 0) {
			Sleep(endDelay);
			Log("ends", window);
			ExitProcess(0);
		}
		if (answerDelay != 0) {
			Sleep(answerDelay);
			Log("returned", window);
		}
		return 0;
	}
	if (message == WM_WINDOWPOSCHANGING && captioned && ready &&
	    (((WINDOWPOS *)lParam)->flags & SWP_FRAMECHANGED))
		Log("frame");
	if (message == WM_CLOSE && captioned)
		LogClose(window);
	if (message == WM_DESTROY) {
		PostQuitMessage(0);
		return 0;
	}
	return DefWindowProcA(window, message, wParam, lParam);
}

int
main(int argc, char **argv)
{
	if (argc < 3)
		return 2;
	logPath = argv[1];
	const char *title = "Window probe";
	bool hang = false, held = false;
	unsigned count = 1;
	for (int i = 3; i < argc; i++) {
		bool more = i + 1 < argc;
		if (std::strcmp(argv[i], "caption") == 0 && more)
			title = argv[++i], captioned = true;
		else if (std::strcmp(argv[i], "hang") == 0)
			hang = true;
		else if (std::strcmp(argv[i], "held") == 0)
			held = true;
		else if (std::strcmp(argv[i], "slow") == 0 && more)
			answerDelay = std::strtoul(argv[++i], nullptr, 10);
		else if (std::strcmp(argv[i], "quiet") == 0)
			quiet = true;
		else if (std::strcmp(argv[i], "ends") == 0 && more)
			endDelay = std::strtoul(argv[++i], nullptr, 10);
		else if (std::strcmp(argv[i], "windows") == 0 && more)
			count = std::strtoul(argv[++i], nullptr, 10);
		else
			return 2;
	}

	WNDCLASSA wc;
	std::memset(&wc, 0, sizeof wc);
	wc.lpfnWndProc = WindowProc;
	wc.hInstance = GetModuleHandleA(nullptr);
	wc.lpszClassName = "OstrivelWindowProbe";
	if (!RegisterClassA(&wc))
		return 3;
	/* Whole once it exists: written aside, then renamed. */
	char part[MAX_PATH + 8];
	std::snprintf(part, sizeof part, "%s.part", argv[2]);
	FILE *f = std::fopen(part, "wb");
	if (f == nullptr)
		return 5;
	for (unsigned i = 0; i < count; i++) {
		HWND window = CreateWindowExA(captioned ? WS_EX_TOPMOST : 0, "OstrivelWindowProbe", title,
		                              WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr, nullptr,
		                              wc.hInstance, nullptr);
		if (window == nullptr)
			return 4;
		ShowWindow(window, SW_SHOWNOACTIVATE);
		if (captioned)
			LogClose(window);
		std::fprintf(f, "%lu\n", (unsigned long)(ULONG_PTR)window);
	}

	/* Settle the messages creation sends before saying ready. */
	MSG msg;
	while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
		DispatchMessageA(&msg);
	if (std::fclose(f) != 0 || !MoveFileA(part, argv[2]))
		return 5;
	ready = true;

	if (hang)
		Sleep(INFINITE);
	if (held) {
		char go[MAX_PATH + 8];
		std::snprintf(go, sizeof go, "%s.go", argv[2]);
		while (GetFileAttributesA(go) == INVALID_FILE_ATTRIBUTES)
			Sleep(10);
	}
	while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
		TranslateMessage(&msg);
		DispatchMessageA(&msg);
	}
	return 0;
}
