/*
 * Test driver that lives in the console under test. It reads a script of
 * steps, one a line, and carries them out in order:
 *
 *   title TEXT          set the console title
 *   utitle TEXT         set it from UTF-8 through the wide entry, with
 *                       characters no 8-bit code page has
 *   probe FILE          write this console's window, the foreground window,
 *                       the state of Close in the window's system menu, the
 *                       console title as UTF-16 units in hex, the window's
 *                       caption (GetWindowTextW) the same way, and the
 *                       title 8-bit, to FILE
 *   cd DIR              change the current directory, DIR in UTF-8
 *   run FILE CMDLINE    run CMDLINE with its standard output to FILE and its
 *                       standard error to FILE.err, and write to FILE.status
 *                       "status=N ms=M end=TICK fg=H,... free=LO-HI
 *                       freec=LO-HI": its exit status, run time, the tick
 *                       count (GetTickCount) it ended at, every foreground
 *                       window seen from just before its start to just after
 *                       its end, and the least and most bytes free to the
 *                       caller seen meanwhile on the current drive and on C:
 *   wrun FILE CMDLINE   the same, CMDLINE in UTF-8 started as UTF-16, as
 *                       shells and Explorer start programs on NT
 *   nwrun FILE CMDLINE  the same as run, in a console of its own without a
 *                       window (CREATE_NO_WINDOW), as IDEs, CI agents and
 *                       scheduled tasks start programs
 *   watch FILE N CMDLINE
 *                       run CMDLINE N times in turn, reading this console's
 *                       title and its window's caption all the while; write
 *                       to FILE.watch "reads=R" and then each title or
 *                       caption seen that differs from the ones before the
 *                       first run, as UTF-16 units in hex
 *   interrupt FILE EVENT WHEN CMDLINE
 *                       run CMDLINE with its standard output to FILE; as
 *                       soon as WHEN, send EVENT (c or break) to it, or,
 *                       EVENT a number, send that as the syscommand step
 *                       does: WHEN is "title" for while the console shows
 *                       the temporary title, "caption" for while the console
 *                       window's caption is that title, otherwise a path,
 *                       for once it exists; then write "sent=S status=N
 *                       end=TICK" to FILE.status (S is 1 if the event went
 *                       out at that moment) and the caption just after a
 *                       system command went out, as UTF-16 units in hex, to
 *                       FILE.caption; the program is suspended from that
 *                       moment until the caption is read
 *   syscommand ID       send WM_SYSCOMMAND with ID to the console window
 *   key VK              send WM_KEYDOWN and WM_KEYUP of virtual key VK to
 *                       the console window (27, Esc, ends a selection)
 *   resetmenu           put the console window's default system menu back
 *   cp PAGE             set the console's output code page
 *   closewin READY      close the window whose handle the window probe wrote
 *                       first to READY, and wait until it is gone
 *   front READY         bring that window to the foreground, and wait until
 *                       it is there
 *   hung READY          wait until the system calls that window hung (30 s
 *                       at most)
 *   release READY       let a window probe that is "held" take messages again
 *   settle              wait until the console window has handled what was
 *                       sent or posted to it before
 *   verinfo FILE EXE    write EXE's version resource to FILE, as Explorer
 *                       and PowerShell read it: the fixed versions, then
 *                       each string of the language its translation names
 *   waitfile PATH       wait until PATH exists (at most 60 s)
 *   send PORT FILE      append "FILE SIZE\n" and FILE's bytes to PORT (a
 *                       serial port, the way out of a virtual machine), or
 *                       "FILE -1\n" when FILE cannot be read
 *
 * Before the first step it checks that the console has a window, and before
 * the first program it starts, that the start worked. Where either fails
 * nothing was tested: it writes why to SCRIPT.notstarted and exits 3.
 * Otherwise it writes SCRIPT.started, and exits 0 when every step ran, 2
 * (after writing SCRIPT.error) when one failed.
 */
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "probe_files.h"

static char script[1 << 21];
static char title[1 << 20]; /* Wine keeps titles of any length */
static WCHAR wtitle[1 << 20];
static WCHAR caption[1 << 20];

static const char *scriptPath;
static bool startedOne; /* a program under test has been started */

/* WHY, with the last error, to SCRIPT.SUFFIX. */
static void
Note(const char *suffix, const char *what, const char *arg)
{
	DWORD error = GetLastError(); /* before anything here sets another */
	char path[MAX_PATH + 16];
	std::snprintf(path, sizeof path, "%s.%s", scriptPath, suffix);
	FILE *f = std::fopen(path, "wb");
	if (f != nullptr) {
		std::fprintf(f, "%s: %s (error %lu)\n", what, arg, error);
		std::fclose(f);
	}
}

/*
 * XP-like consoles (ReactOS among them) refuse title reads of 64 KB or more,
 * so the larger buffer is tried only when this one may not hold the title.
 */
static const DWORD TITLE_CAP = 24500;

/* text as UTF-16 units in hex, appended at out + n; the new length. */
static int
Hex(char *out, int n, size_t size, const WCHAR *text)
{
	for (const WCHAR *w = text; *w != 0; w++)
		n += std::snprintf(out + n, size - n, "%04x", (unsigned)*w);
	return n;
}

static bool
Probe(const char *path)
{
	static char out[sizeof title + 4 * (sizeof wtitle / sizeof *wtitle) +
	                4 * (sizeof caption / sizeof *caption) + 160];
	title[0] = '\0'; /* an empty title is not written */
	wtitle[0] = 0;
	DWORD n = GetConsoleTitleW(wtitle, TITLE_CAP);
	if (n == 0 || n >= TITLE_CAP - 1)
		GetConsoleTitleW(wtitle, sizeof wtitle / sizeof *wtitle);
	n = GetConsoleTitleA(title, TITLE_CAP);
	if (n == 0 || n >= TITLE_CAP - 1)
		n = GetConsoleTitleA(title, sizeof title);
	HWND console = GetConsoleWindow();
	caption[0] = 0;
	GetWindowTextW(console, caption, sizeof caption / sizeof *caption);
	int closeState = (int)GetMenuState(GetSystemMenu(console, FALSE), SC_CLOSE, MF_BYCOMMAND);
	int head = std::snprintf(out, sizeof out,
	                         "console=%lu\nforeground=%lu\nclose=%d\ntitlelen=%lu\n"
	                         "wtitle=",
	                         (unsigned long)(ULONG_PTR)console,
	                         (unsigned long)(ULONG_PTR)GetForegroundWindow(), closeState, n);
	head = Hex(out, head, sizeof out, wtitle);
	head += std::snprintf(out + head, sizeof out - head, "\ncaption=");
	head = Hex(out, head, sizeof out, caption);
	head += std::snprintf(out + head, sizeof out - head, "\ntitle=");
	size_t kept = std::strlen(title); /* n may count what did not fit */
	std::memcpy(out + head, title, kept);
	return WriteFileBytes(path, out, head + kept);
}

/*
 * UTF-8 into wtitle. Decoded here rather than by MultiByteToWideChar:
 * ReactOS's fails on characters beyond the BMP and on long texts, without
 * an error code.
 */
static bool
WidenUtf8(const char *text)
{
	const unsigned char *p = (const unsigned char *)text;
	size_t n = 0, cap = sizeof wtitle / sizeof *wtitle - 2;
	while (*p != 0 && n < cap) {
		unsigned c = *p++, more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
		if (more != 0)
			c &= 0x3F >> more;
		for (; more != 0; more--) {
			if ((*p & 0xC0) != 0x80)
				return false;
			c = c << 6 | (*p++ & 0x3F);
		}
		if (c >= 0x10000) {
			wtitle[n++] = (WCHAR)(0xD800 | (c - 0x10000) >> 10);
			c = 0xDC00 | (c & 0x3FF);
		}
		wtitle[n++] = (WCHAR)c;
	}
	wtitle[n] = 0;
	return *p == 0;
}

static bool
SetTitleUtf8(const char *text)
{
	return WidenUtf8(text) && SetConsoleTitleW(wtitle);
}

static HANDLE
Create(const char *path)
{
	SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
	return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
	                   FILE_ATTRIBUTE_NORMAL, nullptr);
}

/* CMDLINE started with its standard output to OUTPATH, its errors to OUTPATH.err. */
static bool
Start(const char *outPath, char *cmdline, bool wide, DWORD flags, PROCESS_INFORMATION *pi)
{
	char errPath[MAX_PATH + 16];
	std::snprintf(errPath, sizeof errPath, "%s.err", outPath);
	HANDLE out = Create(outPath), err = Create(errPath);
	if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) {
		DWORD error = GetLastError();
		CloseHandle(out);
		CloseHandle(err);
		SetLastError(error);
		return false;
	}
	STARTUPINFOW si; /* the same layout as STARTUPINFOA */
	std::memset(&si, 0, sizeof si);
	si.cb = sizeof si;
	si.dwFlags = STARTF_USESTDHANDLES;
	si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
	si.hStdOutput = out;
	si.hStdError = err;
	BOOL ok;
	if (wide)
		ok = WidenUtf8(cmdline) && CreateProcessW(nullptr, wtitle, nullptr, nullptr, TRUE,
		                                          flags, nullptr, nullptr, &si, pi);
	else
		ok = CreateProcessA(nullptr, cmdline, nullptr, nullptr, TRUE, flags, nullptr, nullptr,
		                    reinterpret_cast<STARTUPINFOA *>(&si), pi);
	DWORD error = GetLastError();
	CloseHandle(out);
	CloseHandle(err);
	SetLastError(error);
	return ok;
}

/* Wine now and then fails a first start while other consoles start: nothing ran yet. */
enum { FAILED = 2, NOT_STARTED = 3 };
static int
StartFailed(const char *cmdline)
{
	if (startedOne)
		return FAILED;
	Note("notstarted", "could not start", cmdline);
	return NOT_STARTED;
}

/* The window whose handle the window probe wrote to READYPATH, or nullptr. */
static HWND
ReadyWindow(const char *readyPath)
{
	unsigned long handle = 0;
	FILE *f = std::fopen(readyPath, "rb");
	if (f == nullptr)
		return nullptr;
	bool read = std::fscanf(f, "%lu", &handle) == 1;
	std::fclose(f);
	return read ? (HWND)(ULONG_PTR)handle : nullptr;
}

static bool
CloseWindow(const char *readyPath)
{
	HWND window = ReadyWindow(readyPath);
	if (window == nullptr)
		return false;
	if (!IsWindow(window))
		return true; /* its program has ended: nothing more comes */
	if (!PostMessageA(window, WM_CLOSE, 0, 0))
		return IsWindow(window) == FALSE;
	/* Up to 30 s: it may still be answering what it was sent, 2 s each. */
	for (DWORD start = GetTickCount(); IsWindow(window); Sleep(10))
		if (GetTickCount() - start > 30000)
			return false;
	return true;
}

/* One line to OUTPATH.status. */
static bool __attribute__((format(printf, 2, 3)))
WriteStatus(const char *outPath, const char *format, ...)
{
	char path[MAX_PATH + 16], text[640];
	std::snprintf(path, sizeof path, "%s.status", outPath);
	va_list args;
	va_start(args, format);
	int n = std::vsnprintf(text, sizeof text, format, args);
	va_end(args);
	return WriteFileBytes(path, text, n);
}

/* What a run saw of the truth that others move: the foreground, free space. */
struct Samples {
	HWND fg[16];
	int fgCount;
	ULONGLONG low, high, lowC, highC;
	bool any;
};

static void
Sample(Samples *s)
{
	HWND fg = GetForegroundWindow();
	int i = 0;
	while (i < s->fgCount && s->fg[i] != fg)
		i++;
	if (i == s->fgCount && s->fgCount < 16)
		s->fg[s->fgCount++] = fg;
	ULARGE_INTEGER here, c;
	if (!GetDiskFreeSpaceExA(nullptr, &here, nullptr, nullptr))
		here.QuadPart = 0;
	if (!GetDiskFreeSpaceExA("C:\\", &c, nullptr, nullptr))
		c.QuadPart = 0;
	if (!s->any || here.QuadPart < s->low)
		s->low = here.QuadPart;
	if (!s->any || here.QuadPart > s->high)
		s->high = here.QuadPart;
	if (!s->any || c.QuadPart < s->lowC)
		s->lowC = c.QuadPart;
	if (!s->any || c.QuadPart > s->highC)
		s->highC = c.QuadPart;
	s->any = true;
}

static int
Run(const char *outPath, char *cmdline, bool wide, DWORD flags)
{
	static Samples s;
	std::memset(&s, 0, sizeof s);
	PROCESS_INFORMATION pi;
	Sample(&s);
	DWORD start = GetTickCount();
	if (!Start(outPath, cmdline, wide, flags, &pi))
		return StartFailed(cmdline);
	startedOne = true;
	do
		Sample(&s);
	while (WaitForSingleObject(pi.hProcess, 1) == WAIT_TIMEOUT);
	DWORD end = GetTickCount();
	Sample(&s);
	DWORD status = 0;
	GetExitCodeProcess(pi.hProcess, &status);
	CloseHandle(pi.hThread);
	CloseHandle(pi.hProcess);
	char fg[16 * 24] = "";
	for (int i = 0, n = 0; i < s.fgCount; i++)
		n += std::snprintf(fg + n, sizeof fg - n, "%s%lu", i ? "," : "",
		                   (unsigned long)(ULONG_PTR)s.fg[i]);
	return WriteStatus(outPath, "status=%lu ms=%lu end=%lu fg=%s free=%llu-%llu freec=%llu-%llu\n",
	                   status, end - start, end, fg, s.low, s.high, s.lowC, s.highC)
	           ? 0
	           : FAILED;
}

static bool
VersionInfo(const char *outPath, const char *exe)
{
	static char data[1 << 16], out[1 << 14];
	DWORD ignored = 0, size = GetFileVersionInfoSizeA(exe, &ignored);
	if (size == 0 || size > sizeof data || !GetFileVersionInfoA(exe, 0, size, data))
		return WriteFileBytes(outPath, "none\n", 5);
	int n = 0;
	VS_FIXEDFILEINFO *fixed = nullptr;
	UINT len = 0;
	if (VerQueryValueA(data, "\\", (void **)&fixed, &len) && len >= sizeof *fixed)
		n += std::snprintf(out + n, sizeof out - n,
		                   "fixed file=%lu.%lu.%lu.%lu product=%lu.%lu.%lu.%lu type=%lu\n",
		                   fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xFFFF,
		                   fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF,
		                   fixed->dwProductVersionMS >> 16, fixed->dwProductVersionMS & 0xFFFF,
		                   fixed->dwProductVersionLS >> 16, fixed->dwProductVersionLS & 0xFFFF,
		                   fixed->dwFileType);
	WORD *translation = nullptr;
	if (!VerQueryValueA(data, "\\VarFileInfo\\Translation", (void **)&translation, &len) ||
	    len < 4)
		return WriteFileBytes(outPath, out, n);
	static const char *const NAMES[] = {"FileDescription", "FileVersion", "InternalName",
	                                    "OriginalFilename", "ProductName", "ProductVersion"};
	for (const char *name : NAMES) {
		char key[128];
		std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\%s", translation[0],
		              translation[1], name);
		char *value = nullptr;
		if (VerQueryValueA(data, key, (void **)&value, &len) && value != nullptr)
			n += std::snprintf(out + n, sizeof out - n, "%s=%s\n", name, value);
	}
	return WriteFileBytes(outPath, out, n);
}

static bool
Send(const char *port, const char *path)
{
	static HANDLE out = INVALID_HANDLE_VALUE;
	if (out == INVALID_HANDLE_VALUE)
		out = CreateFileA(port, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
	if (out == INVALID_HANDLE_VALUE)
		return false;
	long size = -1;
	FILE *f = std::fopen(path, "rb");
	/* ReactOS may refuse a file just renamed into place for a moment. */
	for (int i = 0; f == nullptr && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES && i < 500;
	     i++) {
		Sleep(10);
		f = std::fopen(path, "rb");
	}
	if (f != nullptr && std::fseek(f, 0, SEEK_END) == 0)
		size = std::ftell(f);
	char head[MAX_PATH + 32];
	int n = std::snprintf(head, sizeof head, "%s %ld\n", path, size);
	DWORD done;
	bool ok = WriteFile(out, head, n, &done, nullptr) && done == (DWORD)n;
	if (size > 0) {
		std::rewind(f);
		static char chunk[1 << 16];
		size_t got;
		while (ok && (got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
			ok = WriteFile(out, chunk, got, &done, nullptr) && done == got;
	}
	if (f != nullptr)
		std::fclose(f);
	return ok;
}

/* MESSAGE to the console window, handled by the time this returns. */
static bool
SendToConsole(UINT message, WPARAM wParam, LPARAM lParam)
{
	DWORD_PTR result;
	return SendMessageTimeoutW(GetConsoleWindow(), message, wParam, lParam, SMTO_NORMAL, 5000,
	                           &result) != 0;
}

static bool
Front(const char *readyPath)
{
	HWND window = ReadyWindow(readyPath);
	if (window == nullptr)
		return false;
	SetForegroundWindow(window);
	for (DWORD start = GetTickCount(); GetForegroundWindow() != window; Sleep(10))
		if (GetTickCount() - start > 10000)
			return false;
	return true;
}

static bool
Hung(const char *readyPath)
{
	HWND window = ReadyWindow(readyPath);
	for (DWORD start = GetTickCount(); window != nullptr && !IsHungAppWindow(window); Sleep(10))
		if (GetTickCount() - start > 30000)
			return false;
	return window != nullptr;
}

static bool
Release(const char *readyPath)
{
	char path[MAX_PATH + 8];
	std::snprintf(path, sizeof path, "%s.go", readyPath);
	FILE *f = std::fopen(path, "wb");
	return f != nullptr && std::fclose(f) == 0;
}

/*
 * A request posted to a window is handled once its thread takes it from
 * the queue; sent messages come first, so a second one is handled only
 * after whatever the thread took with the first.
 */
static bool
Settle(void)
{
	return SendToConsole(WM_NULL, 0, 0) && SendToConsole(WM_NULL, 0, 0);
}

static bool
Key(UINT vk)
{
	LPARAM scan = (LPARAM)MapVirtualKeyW(vk, 0) << 16;
	return SendToConsole(WM_KEYDOWN, vk, scan | 1) &&
	       SendToConsole(WM_KEYUP, vk, scan | 1 | 3UL << 30);
}

static const char TEMP_TITLE[] = "{98C1C303-2A9E-11d4-9FF5-006067718D05}";

static bool
Due(const char *when)
{
	if (std::strcmp(when, "title") == 0)
		return GetConsoleTitleA(title, TITLE_CAP) != 0 && std::strcmp(title, TEMP_TITLE) == 0;
	if (std::strcmp(when, "caption") == 0)
		return GetWindowTextA(GetConsoleWindow(), title, sizeof title) != 0 &&
		       std::strcmp(title, TEMP_TITLE) == 0;
	return GetFileAttributesA(when) != INVALID_FILE_ATTRIBUTES;
}

static int
Interrupt(const char *outPath, const char *event, const char *when, char *cmdline)
{
	bool brk = std::strcmp(event, "break") == 0;
	UINT command = std::strtoul(event, nullptr, 10);
	PROCESS_INFORMATION pi;
	/* Ctrl+Break goes to the child's own group; Ctrl+C to the whole console. */
	if (!Start(outPath, cmdline, false, brk ? CREATE_NEW_PROCESS_GROUP : 0, &pi))
		return StartFailed(cmdline) == NOT_STARTED ? NOT_STARTED : FAILED;
	startedOne = true;
	SetConsoleCtrlHandler(nullptr, TRUE); /* after the child took its own setting */

	bool sent = false;
	DWORD start = GetTickCount();
	caption[0] = 0;
	while (GetTickCount() - start < 20000 &&
	       WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
		if (Due(when)) {
			if (command != 0) {
				/*
				 * The program held still from the moment seen until the
				 * caption is read: on a slow machine its moment can pass
				 * while the window handles the command.
				 */
				SuspendThread(pi.hThread);
				if (Due(when) && (sent = SendToConsole(WM_SYSCOMMAND, command, 0)))
					GetWindowTextW(GetConsoleWindow(), caption, sizeof caption / sizeof *caption);
				ResumeThread(pi.hThread);
			} else
				sent = GenerateConsoleCtrlEvent(brk ? CTRL_BREAK_EVENT : CTRL_C_EVENT,
				                                brk ? pi.dwProcessId : 0) != 0;
			break;
		}
	}
	WaitForSingleObject(pi.hProcess, 20000);
	DWORD status = 0, end = GetTickCount();
	GetExitCodeProcess(pi.hProcess, &status);
	CloseHandle(pi.hThread);
	CloseHandle(pi.hProcess);
	Sleep(100);
	SetConsoleCtrlHandler(nullptr, FALSE);
	static char hex[4 * (sizeof caption / sizeof *caption)];
	char captionPath[MAX_PATH + 16];
	std::snprintf(captionPath, sizeof captionPath, "%s.caption", outPath);
	return WriteFileBytes(captionPath, hex, Hex(hex, 0, sizeof hex, caption)) &&
	               WriteStatus(outPath, "sent=%d status=%lu end=%lu\n", sent ? 1 : 0, status, end)
	           ? 0
	           : FAILED;
}

/* Up to 16 titles and captions, each a line of hex, after the first two. */
static char seen[16][4 * 4096 + 2];
static int seenCount;

static void
Saw(const WCHAR *text)
{
	char line[sizeof *seen];
	int n = Hex(line, 0, sizeof line - 1, text);
	line[n++] = '\n';
	line[n] = 0;
	for (int i = 0; i < seenCount; i++)
		if (std::strcmp(seen[i], line) == 0)
			return;
	if (seenCount < 16)
		std::strcpy(seen[seenCount++], line);
}

/* This console's title, and its window's caption, as they are now. */
static void
SawTitleAndCaption(HWND window)
{
	static WCHAR now[4096];
	now[0] = 0;
	GetConsoleTitleW(now, sizeof now / sizeof *now);
	Saw(now);
	now[0] = 0;
	GetWindowTextW(window, now, sizeof now / sizeof *now);
	Saw(now);
}

static int
Watch(const char *outPath, unsigned count, char *cmdline)
{
	HWND window = GetConsoleWindow();
	SawTitleAndCaption(window);
	int before = seenCount;
	unsigned long reads = 0;
	for (unsigned i = 0; i < count; i++) {
		PROCESS_INFORMATION pi;
		if (!Start(outPath, cmdline, false, 0, &pi))
			return StartFailed(cmdline);
		startedOne = true;
		do {
			SawTitleAndCaption(window);
			reads++;
		} while (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT);
		CloseHandle(pi.hThread);
		CloseHandle(pi.hProcess);
	}
	static char out[sizeof seen + 32];
	int n = std::snprintf(out, sizeof out, "reads=%lu\n", reads);
	for (int i = before; i < seenCount; i++)
		n += std::snprintf(out + n, sizeof out - n, "%s", seen[i]);
	char path[MAX_PATH + 16];
	std::snprintf(path, sizeof path, "%s.watch", outPath);
	return WriteFileBytes(path, out, n) ? 0 : FAILED;
}

/* Ends text at its first space; what follows it, or nullptr. */
static char *
Split(char *text)
{
	char *space = std::strchr(text, ' ');
	if (space == nullptr)
		return nullptr;
	*space = '\0';
	return space + 1;
}

static int
Fail(const char *what, const char *arg)
{
	Note("error", what, arg);
	return FAILED;
}

/* ARG split at its first N-1 spaces into PARTS; false when it has fewer. */
static bool
Parts(char *arg, char **parts, int n)
{
	parts[0] = arg;
	for (int i = 1; i < n; i++)
		if ((parts[i] = Split(parts[i - 1])) == nullptr)
			return false;
	return true;
}

static int
RunStep(char *arg, bool wide, DWORD flags)
{
	char *p[2];
	return Parts(arg, p, 2) ? Run(p[0], p[1], wide, flags) : Fail("needs a file and a command line", arg);
}

static int StepRun(char *arg) { return RunStep(arg, false, 0); }
static int StepWrun(char *arg) { return RunStep(arg, true, 0); }
static int StepNwrun(char *arg) { return RunStep(arg, false, CREATE_NO_WINDOW); }

static int
StepWatch(char *arg)
{
	char *p[3];
	return Parts(arg, p, 3) ? Watch(p[0], std::strtoul(p[1], nullptr, 10), p[2])
	                        : Fail("needs a file, a count and a command line", arg);
}

static int
StepInterrupt(char *arg)
{
	char *p[4];
	return Parts(arg, p, 4) ? Interrupt(p[0], p[1], p[2], p[3])
	                        : Fail("needs a file, an event, a moment and a command line", arg);
}

static int
StepVerinfo(char *arg)
{
	char *p[2];
	return Parts(arg, p, 2) && VersionInfo(p[0], p[1]) ? 0 : Fail("verinfo", arg);
}

static int
StepSend(char *arg)
{
	char *p[2];
	return Parts(arg, p, 2) && Send(p[0], p[1]) ? 0 : Fail("send", arg);
}

static int
StepWaitfile(char *arg)
{
	for (DWORD start = GetTickCount(); GetFileAttributesA(arg) == INVALID_FILE_ATTRIBUTES;
	     Sleep(1))
		if (GetTickCount() - start > 60000)
			return Fail("waitfile timed out", arg);
	return 0;
}

static int StepTitle(char *arg) { SetConsoleTitleA(arg); return 0; }
static int StepUtitle(char *arg) { return SetTitleUtf8(arg) ? 0 : Fail("utitle", arg); }
static int StepProbe(char *arg) { return Probe(arg) ? 0 : Fail("probe", arg); }
static int StepCd(char *arg)
{
	return WidenUtf8(arg) && SetCurrentDirectoryW(wtitle) ? 0 : Fail("cd", arg);
}
static int StepSyscommand(char *arg)
{
	return SendToConsole(WM_SYSCOMMAND, std::strtoul(arg, nullptr, 10), 0) ? 0
	                                                                        : Fail("syscommand", arg);
}
static int StepKey(char *arg) { return Key(std::strtoul(arg, nullptr, 10)) ? 0 : Fail("key", arg); }
static int StepResetmenu(char *) { GetSystemMenu(GetConsoleWindow(), TRUE); return 0; }
static int StepCp(char *arg)
{
	return SetConsoleOutputCP(std::strtoul(arg, nullptr, 10)) ? 0 : Fail("cp", arg);
}
static int StepClosewin(char *arg) { return CloseWindow(arg) ? 0 : Fail("closewin", arg); }
static int StepFront(char *arg) { return Front(arg) ? 0 : Fail("front", arg); }
static int StepSettle(char *arg) { return Settle() ? 0 : Fail("settle", arg); }
static int StepHung(char *arg) { return Hung(arg) ? 0 : Fail("hung", arg); }
static int StepRelease(char *arg) { return Release(arg) ? 0 : Fail("release", arg); }

static const struct {
	const char *name;
	int (*step)(char *arg);
} STEPS[] = {
    {"title", StepTitle},         {"utitle", StepUtitle},       {"probe", StepProbe},
    {"cd", StepCd},               {"run", StepRun},             {"wrun", StepWrun},
    {"nwrun", StepNwrun},         {"watch", StepWatch},         {"interrupt", StepInterrupt},
    {"syscommand", StepSyscommand}, {"key", StepKey},           {"resetmenu", StepResetmenu},
    {"cp", StepCp},               {"closewin", StepClosewin},   {"front", StepFront},
    {"settle", StepSettle},       {"verinfo", StepVerinfo},     {"waitfile", StepWaitfile},
    {"send", StepSend},           {"hung", StepHung},           {"release", StepRelease},
};

static int
Step(char *line)
{
	char *arg = Split(line);
	if (arg == nullptr)
		arg = line + std::strlen(line);
	for (const auto &s : STEPS)
		if (std::strcmp(line, s.name) == 0)
			return s.step(arg);
	return line[0] == '\0' ? 0 : Fail("unknown step", line);
}

int
main(int argc, char **argv)
{
	if (argc != 2)
		return FAILED;
	scriptPath = argv[1];
	FILE *f = std::fopen(scriptPath, "rb");
	if (f == nullptr)
		return Fail("cannot open script", scriptPath);
	size_t len = std::fread(script, 1, sizeof script - 1, f);
	std::fclose(f);
	script[len] = '\0';
	if (GetConsoleWindow() == nullptr) {
		Note("notstarted", "the console has no window", scriptPath);
		return NOT_STARTED;
	}
	char started[MAX_PATH + 16];
	std::snprintf(started, sizeof started, "%s.started", scriptPath);
	if (!WriteFileBytes(started, "", 0))
		return Fail("cannot write", started);

	for (char *line = script; *line != '\0';) {
		char *end = std::strchr(line, '\n');
		char *next = end != nullptr ? end + 1 : line + std::strlen(line);
		if (end != nullptr)
			*end = '\0';
		if (int failed = Step(line))
			return failed;
		line = next;
	}
	return 0;
}
