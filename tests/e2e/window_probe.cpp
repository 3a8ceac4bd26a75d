/*
 * An ordinary top-level window that logs every WM_FONTCHANGE it receives.
 *
 *   window_probe LOG READY [hang | slow MS | caption TEXT [hang]]
 *
 * Creates the window, writes its handle to READY (whole once it exists),
 * then pumps messages, appending one line "WM_FONTCHANGE TICK" to LOG per
 * WM_FONTCHANGE, TICK being GetTickCount's (one clock for every process of
 * a Wine session).
 * With "hang" it stops pumping once READY is written, as a hung application
 * does. With "slow" it takes MS milliseconds to answer each WM_FONTCHANGE,
 * then appends "returned TICK" just before it does. With "caption" the
 * window is captioned TEXT and stays above all others (topmost); it appends
 * "frame TICK" whenever another program changes its frame (SetWindowPos
 * with SWP_FRAMECHANGED), and "close STATE TICK" with the state of Close in
 * its own system menu (GetMenuState: -1 once Close is gone) at its start
 * and again on WM_CLOSE, after every message sent or posted before it.
 * Ends on WM_CLOSE or when killed.
 */
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char *logPath;
static DWORD answerDelay;
static bool captioned, ready;

static void
Log(const char *what)
{
	FILE *f = std::fopen(logPath, "ab");
	if (f != nullptr) {
		std::fprintf(f, "%s %lu\n", what, GetTickCount());
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
		Log("WM_FONTCHANGE");
		if (answerDelay != 0) {
			Sleep(answerDelay);
			Log("returned");
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
	captioned = argc > 4 && std::strcmp(argv[3], "caption") == 0;
	bool hang = (argc > 3 && std::strcmp(argv[3], "hang") == 0) ||
	            (captioned && argc > 5 && std::strcmp(argv[5], "hang") == 0);
	if (argc > 4 && std::strcmp(argv[3], "slow") == 0)
		answerDelay = std::strtoul(argv[4], nullptr, 10);

	WNDCLASSA wc;
	std::memset(&wc, 0, sizeof wc);
	wc.lpfnWndProc = WindowProc;
	wc.hInstance = GetModuleHandleA(nullptr);
	wc.lpszClassName = "OstrivelWindowProbe";
	if (!RegisterClassA(&wc))
		return 3;
	HWND window = CreateWindowExA(captioned ? WS_EX_TOPMOST : 0, "OstrivelWindowProbe",
	                              captioned ? argv[4] : "Window probe", WS_OVERLAPPEDWINDOW,
	                              10, 10, 200, 100, nullptr, nullptr, wc.hInstance, nullptr);
	if (window == nullptr)
		return 4;
	ShowWindow(window, SW_SHOWNOACTIVATE);
	if (captioned)
		LogClose(window);

	/* Settle the messages creation sends before saying ready. */
	MSG msg;
	while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
		DispatchMessageA(&msg);

	/* Whole once it exists: written aside, then renamed. */
	char part[MAX_PATH + 8];
	std::snprintf(part, sizeof part, "%s.part", argv[2]);
	FILE *f = std::fopen(part, "wb");
	if (f == nullptr)
		return 5;
	std::fprintf(f, "%lu\n", (unsigned long)(ULONG_PTR)window);
	if (std::fclose(f) != 0 || !MoveFileA(part, argv[2]))
		return 5;
	ready = true;

	if (hang) {
		Sleep(INFINITE);
		return 0;
	}
	while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
		TranslateMessage(&msg);
		DispatchMessageA(&msg);
	}
	return 0;
}
