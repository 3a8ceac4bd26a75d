/*
 * Times command lines from inside a console, as a user's shell starts them.
 *
 *   timing_probe RESULTS RUNS LIST
 *
 * LIST holds one command a line, "console CMDLINE" to run CMDLINE in this
 * console, "pty CMDLINE" to run it in a pseudo console the probe acts as the
 * terminal of. Each command is run once untimed, then RUNS times, taking the
 * commands in turn so that a drift of the machine touches them all alike.
 * A run is timed with QueryPerformanceCounter from CreateProcess to the end
 * of the process; its standard output goes to NUL. RESULTS gets one line per
 * command: the microseconds of each run, separated by spaces. A failure is
 * reported on standard output, with exit status 2.
 *
 * The pseudo console is one for all runs, made before the first: a shell in
 * a terminal's tab runs each program in the console it already has, and so
 * the console host's own start stays out of the runs. Its stream is read to
 * the end by a thread of its own, so that no program blocks on a full pipe.
 *
 *   timing_probe idle | desktop
 *
 * Exits at once, or after asking for the desktop window: the first program
 * to ask pays what the system does on its first use of the window manager
 * (Wine loads its display driver then).
 */
#define _WIN32_WINNT 0x0A00
#define NTDDI_VERSION 0x0A000006
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

enum { MAX_COMMANDS = 16, MAX_RUNS = 1000 };

static char list[1 << 16];
static char *commands[MAX_COMMANDS];
static bool inPty[MAX_COMMANDS];
static unsigned long micros[MAX_COMMANDS][MAX_RUNS];

static HPCON pty;
static HANDLE nul;

/* To standard output: the console's own is seen by nobody. */
static int
Fail(const char *what)
{
	DWORD error = GetLastError();
	std::printf("timing_probe: %s (error %lu)\n", what, error);
	return 2;
}

static DWORD WINAPI
Drain(LPVOID pipe)
{
	static char chunk[4096];
	DWORD got;
	while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got != 0)
		continue;
	return 0;
}

/* The pseudo console, its input pipe's writing end in *input. */
static bool
OpenPty(HANDLE *input, HANDLE *reader)
{
	HANDLE inRead, streamRead, streamWrite;
	if (!CreatePipe(&inRead, input, nullptr, 0) ||
	    !CreatePipe(&streamRead, &streamWrite, nullptr, 0) ||
	    FAILED(CreatePseudoConsole(COORD{80, 25}, inRead, streamWrite, 0, &pty)))
		return false;
	CloseHandle(inRead);
	CloseHandle(streamWrite);
	*reader = CreateThread(nullptr, 0, Drain, streamRead, 0, nullptr);
	return *reader != nullptr;
}

/* Microseconds from CreateProcess to the end of CMDLINE, or 0 on failure. */
static unsigned long
Time(char *cmdline, bool pseudo)
{
	alignas(8) static char attributes[256];
	STARTUPINFOEXA si;
	std::memset(&si, 0, sizeof si);
	si.StartupInfo.cb = sizeof si;
	si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
	si.StartupInfo.hStdOutput = nul;
	si.StartupInfo.hStdError = nul;
	DWORD flags = 0;
	if (pseudo) {
		SIZE_T size = sizeof attributes;
		si.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes);
		if (!InitializeProcThreadAttributeList(si.lpAttributeList, 1, 0, &size) ||
		    !UpdateProcThreadAttribute(si.lpAttributeList, 0,
		                               PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, pty, sizeof pty,
		                               nullptr, nullptr))
			return 0;
		flags = EXTENDED_STARTUPINFO_PRESENT;
	} else {
		si.StartupInfo.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
	}
	PROCESS_INFORMATION pi;
	LARGE_INTEGER start, end, frequency;
	QueryPerformanceCounter(&start);
	BOOL ok = CreateProcessA(nullptr, cmdline, nullptr, nullptr, TRUE, flags, nullptr, nullptr,
	                         &si.StartupInfo, &pi);
	if (ok)
		WaitForSingleObject(pi.hProcess, INFINITE);
	QueryPerformanceCounter(&end);
	if (pseudo)
		DeleteProcThreadAttributeList(si.lpAttributeList);
	if (!ok)
		return 0;
	CloseHandle(pi.hThread);
	CloseHandle(pi.hProcess);
	QueryPerformanceFrequency(&frequency);
	unsigned long us = (unsigned long)((end.QuadPart - start.QuadPart) * 1000000 /
	                                   frequency.QuadPart);
	return us != 0 ? us : 1;
}

/* LIST's lines into commands; their count, or -1. */
static int
ReadList(const char *path)
{
	FILE *f = std::fopen(path, "rb");
	if (f == nullptr)
		return -1;
	size_t len = std::fread(list, 1, sizeof list - 1, f);
	std::fclose(f);
	list[len] = '\0';
	int n = 0;
	for (char *line = std::strtok(list, "\r\n"); line != nullptr;
	     line = std::strtok(nullptr, "\r\n")) {
		char *space = std::strchr(line, ' ');
		if (n == MAX_COMMANDS || space == nullptr)
			return -1;
		*space = '\0';
		if (std::strcmp(line, "pty") != 0 && std::strcmp(line, "console") != 0)
			return -1;
		inPty[n] = line[0] == 'p';
		commands[n++] = space + 1;
	}
	return n;
}

int
main(int argc, char **argv)
{
	if (argc == 2 && std::strcmp(argv[1], "idle") == 0)
		return 0;
	if (argc == 2 && std::strcmp(argv[1], "desktop") == 0)
		return GetDesktopWindow() != nullptr ? 0 : 1;
	if (argc != 4)
		return Fail("usage: timing_probe RESULTS RUNS LIST | idle | desktop");
	int runs = std::atoi(argv[2]);
	int n = ReadList(argv[3]);
	if (runs < 1 || runs > MAX_RUNS || n < 1)
		return Fail("bad runs or list");

	HANDLE input = nullptr, reader = nullptr;
	bool anyPty = false;
	for (int c = 0; c < n; c++)
		anyPty = anyPty || inPty[c];
	if (anyPty && !OpenPty(&input, &reader))
		return Fail("CreatePseudoConsole");
	/* Only now: the console host would inherit an inheritable handle made before. */
	SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
	nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
	                  OPEN_EXISTING, 0, nullptr);
	if (nul == INVALID_HANDLE_VALUE)
		return Fail("cannot open NUL");

	for (int r = -1; r < runs; r++)
		for (int c = 0; c < n; c++) {
			/* Wine now and then refuses a start (error 1359): tried again. */
			unsigned long us = 0;
			for (int tries = 0; us == 0 && tries < 3; tries++)
				us = Time(commands[c], inPty[c]);
			if (us == 0)
				return Fail(commands[c]);
			if (r >= 0)
				micros[c][r] = us;
		}

	if (anyPty) {
		ClosePseudoConsole(pty);
		CloseHandle(input);
		if (WaitForSingleObject(reader, 20000) != WAIT_OBJECT_0)
			return Fail("the pseudo console's stream did not end");
	}
	FILE *f = std::fopen(argv[1], "wb");
	if (f == nullptr)
		return Fail("cannot write the results");
	for (int c = 0; c < n; c++)
		for (int r = 0; r < runs; r++)
			std::fprintf(f, "%lu%c", micros[c][r], r + 1 < runs ? ' ' : '\n');
	return std::fclose(f) == 0 ? 0 : Fail("cannot write the results");
}
