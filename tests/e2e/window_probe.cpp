/*
 * An ordinary top-level window that logs every WM_FONTCHANGE it receives.
 *
 *   window_probe LOG READY [hang | slow MS | caption TEXT]
 *
 * Creates the window, writes its handle to READY, then pumps messages,
 * appending one line "WM_FONTCHANGE TICK" to LOG per WM_FONTCHANGE, TICK
 * being GetTickCount's (one clock for every process of a Wine session).
 * With "hang" it stops pumping once READY is written, as a hung application
 * does. With "slow" it takes MS milliseconds to answer each WM_FONTCHANGE,
 * then appends "returned TICK" just before it does. With "caption" the
 * window is captioned TEXT and stays above all others (topmost), and it
 * appends "close STATE TICK" whenever the state of Close in its own system
 * menu changes, the first one at once (GetMenuState: -1 once Close is gone).
 * Ends on WM_CLOSE or when killed.
 */
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char *logPath;
static DWORD answerDelay;
static bool watchClose;
static int closeState = 1; /* no state GetMenuState gives */

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
	int state = (int)GetMenuState(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND);
	if (state != closeState) {
		char line[32];
		std::snprintf(line, sizeof line, "close %d", state);
		Log(line);
		closeState = state;
	}
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
	if (message == WM_TIMER && watchClose) {
		LogClose(window);
		return 0;
	}
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
	bool hang = argc > 3 && std::strcmp(argv[3], "hang") == 0;
	if (argc > 4 && std::strcmp(argv[3], "slow") == 0)
		answerDelay = std::strtoul(argv[4], nullptr, 10);
	watchClose = argc > 4 && std::strcmp(argv[3], "caption") == 0;

	WNDCLASSA wc;
	std::memset(&wc, 0, sizeof wc);
	wc.lpfnWndProc = WindowProc;
	wc.hInstance = GetModuleHandleA(nullptr);
	wc.lpszClassName = "OstrivelWindowProbe";
	if (!RegisterClassA(&wc))
		return 3;
	HWND window = CreateWindowExA(watchClose ? WS_EX_TOPMOST : 0, "OstrivelWindowProbe",
	                              watchClose ? argv[4] : "Window probe", WS_OVERLAPPEDWINDOW,
	                              10, 10, 200, 100, nullptr, nullptr, wc.hInstance, nullptr);
	if (window == nullptr)
		return 4;
	ShowWindow(window, SW_SHOWNOACTIVATE);
	if (watchClose) {
		LogClose(window);
		SetTimer(window, 1, 20, nullptr);
	}

	/* Settle the messages creation sends before saying ready. */
	MSG msg;
	while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
		DispatchMessageA(&msg);

	FILE *ready = std::fopen(argv[2], "wb");
	if (ready == nullptr)
		return 5;
	std::fprintf(ready, "%lu\n", (unsigned long)(ULONG_PTR)window);
	std::fclose(ready);

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
