/*
 * Test driver that lives in the console under test. It reads a script of
 * steps, one a line, and carries them out in order:
 *
 *   title TEXT          set the console title
 *   utitle TEXT         set it from UTF-8 through the wide entry, with
 *                       characters no 8-bit code page has
 *   probe FILE          write this console's window, the foreground window,
 *                       the state of Close in the window's system menu, the
 *                       free space of the current drive in KiB, the
 *                       console title as UTF-16 units in hex, the window's
 *                       caption (GetWindowTextW) the same way, and the
 *                       title 8-bit, to FILE
 *   cd DIR              change the current directory
 *   run FILE CMDLINE    run CMDLINE with its standard output to FILE and its
 *                       standard error to FILE.err, then write its exit
 *                       status, its run time and the tick count
 *                       (GetTickCount) it ended at to FILE.status
 *   wrun FILE CMDLINE   the same, CMDLINE in UTF-8 started as UTF-16, as
 *                       shells and Explorer start programs on NT
 *   nwrun FILE CMDLINE  the same as run, in a console of its own without a
 *                       window (CREATE_NO_WINDOW), as IDEs, CI agents and
 *                       scheduled tasks start programs
 *   watch FILE N CMDLINE
 *                       run CMDLINE N times in turn, as run does, reading
 *                       this console's title and its window's caption all
 *                       the while; write to FILE.watch "reads=R" and then
 *                       each title or caption seen that differs from the
 *                       ones before the first run, as UTF-16 units in hex
 *   syscommand ID       send WM_SYSCOMMAND with ID to the console window
 *                       (65520 is Edit > Mark in the ReactOS live CD's
 *                       system menu)
 *   key VK              send WM_KEYDOWN and WM_KEYUP of virtual key VK to
 *                       the console window (27, Esc, ends a selection)
 *   resetmenu           put the console window's default system menu back,
 *                       Close included
 *   sleep MS            wait
 *   cp PAGE             set the console's output code page
 *   closewin READY      close the window whose handle the window probe wrote
 *                       to READY, and wait until it is gone
 *   front READY         bring the window whose handle the window probe wrote
 *                       to READY to the foreground, and wait until it is
 *                       there
 *   settle              wait until the console window has handled what was
 *                       sent or posted to it before
 *   verinfo FILE EXE    write EXE's version resource to FILE, as Explorer
 *                       and PowerShell read it: the fixed versions, then
 *                       each string of the language its translation names
 *   waitfile PATH       wait until PATH exists (at most 60 s)
 *   send PORT FILE      append "FILE SIZE\n" and FILE's bytes to PORT (a
 *                       serial port, the way out of a virtual machine), or
 *                       "FILE -1\n" when FILE cannot be read
 *   interrupt FILE EVENT WHEN CMDLINE
 *                       run CMDLINE with its standard output to FILE; as
 *                       soon as WHEN, send EVENT (c or break) to it, or,
 *                       EVENT a number, send that as the syscommand step
 *                       does: WHEN is "title"
 *                       for while the console shows the temporary title,
 *                       "caption" for while the console window's caption is
 *                       that title, otherwise a path, for once it exists; then
 *                       write "sent=S status=N end=TICK" to FILE.status: S
 *                       is 1 if the event went out at that moment, N the
 *                       exit status, TICK the tick count it ended at; and
 *                       the caption just after a system command went out,
 *                       as UTF-16 units in hex, to FILE.caption
 *
 * Writes SCRIPT.started before the first step, so that a harness can tell a
 * console that never ran the probe from a failing step. Exits 0 when every
 * step ran, 2 (after writing SCRIPT.error) otherwise.
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

static int
Fail(const char *what, const char *arg)
{
	DWORD error = GetLastError(); /* before anything here sets another */
	char path[MAX_PATH + 16];
	std::snprintf(path, sizeof path, "%s.error", scriptPath);
	FILE *f = std::fopen(path, "wb");
	if (f != nullptr) {
		std::fprintf(f, "%s: %s (error %lu)\n", what, arg, error);
		std::fclose(f);
	}
	return 2;
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
	ULARGE_INTEGER avail;
	if (!GetDiskFreeSpaceExA(nullptr, &avail, nullptr, nullptr))
		avail.QuadPart = 0;
	int head = std::snprintf(out, sizeof out,
	                         "console=%lu\nforeground=%lu\nclose=%d\nfreekb=%lu\ntitlelen=%lu\n"
	                         "wtitle=",
	                         (unsigned long)(ULONG_PTR)console,
	                         (unsigned long)(ULONG_PTR)GetForegroundWindow(), closeState,
	                         (unsigned long)(avail.QuadPart / 1024), n);
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
	/* Wine now and then fails a start while other consoles start: tried thrice. */
	BOOL ok = FALSE;
	for (int tries = 0; !ok && tries < 3; tries++) {
		if (tries != 0)
			Sleep(200);
		if (wide)
			ok = WidenUtf8(cmdline) && CreateProcessW(nullptr, wtitle, nullptr, nullptr, TRUE,
			                                          flags, nullptr, nullptr, &si, pi);
		else
			ok = CreateProcessA(nullptr, cmdline, nullptr, nullptr, TRUE, flags, nullptr,
			                    nullptr, reinterpret_cast<STARTUPINFOA *>(&si), pi);
	}
	DWORD error = GetLastError();
	CloseHandle(out);
	CloseHandle(err);
	SetLastError(error);
	return ok;
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
	if (window == nullptr || !PostMessageA(window, WM_CLOSE, 0, 0))
		return false;
	for (DWORD start = GetTickCount(); IsWindow(window); Sleep(10))
		if (GetTickCount() - start > 10000)
			return false;
	return true;
}

/* One line to OUTPATH.status. */
static bool __attribute__((format(printf, 2, 3)))
WriteStatus(const char *outPath, const char *format, ...)
{
	char path[MAX_PATH + 16], text[96];
	std::snprintf(path, sizeof path, "%s.status", outPath);
	va_list args;
	va_start(args, format);
	int n = std::vsnprintf(text, sizeof text, format, args);
	va_end(args);
	return WriteFileBytes(path, text, n);
}

/* What failed, or nullptr. */
static const char *
Run(const char *outPath, char *cmdline, bool wide, DWORD flags)
{
	PROCESS_INFORMATION pi;
	DWORD start = GetTickCount();
	if (!Start(outPath, cmdline, wide, flags, &pi))
		return "start";
	WaitForSingleObject(pi.hProcess, INFINITE);
	DWORD status = 0;
	GetExitCodeProcess(pi.hProcess, &status);
	DWORD end = GetTickCount();
	CloseHandle(pi.hThread);
	CloseHandle(pi.hProcess);
	return WriteStatus(outPath, "%lu %lu %lu\n", status, end - start, end) ? nullptr
	                                                                      : "status of";
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

static bool
Interrupt(const char *outPath, const char *event, const char *when, char *cmdline)
{
	bool brk = std::strcmp(event, "break") == 0;
	UINT command = std::strtoul(event, nullptr, 10);
	PROCESS_INFORMATION pi;
	/* Ctrl+Break goes to the child's own group; Ctrl+C to the whole console. */
	if (!Start(outPath, cmdline, false, brk ? CREATE_NEW_PROCESS_GROUP : 0, &pi))
		return false;
	SetConsoleCtrlHandler(nullptr, TRUE); /* after the child took its own setting */

	bool sent = false;
	DWORD start = GetTickCount();
	caption[0] = 0;
	while (GetTickCount() - start < 20000 &&
	       WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
		if (Due(when)) {
			if (command != 0 && (sent = SendToConsole(WM_SYSCOMMAND, command, 0)))
				GetWindowTextW(GetConsoleWindow(), caption, sizeof caption / sizeof *caption);
			else if (command == 0)
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
	       WriteStatus(outPath, "sent=%d status=%lu end=%lu\n", sent ? 1 : 0, status, end);
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

static bool
Watch(const char *outPath, unsigned count, char *cmdline)
{
	HWND window = GetConsoleWindow();
	SawTitleAndCaption(window);
	int before = seenCount;
	unsigned long reads = 0;
	for (unsigned i = 0; i < count; i++) {
		PROCESS_INFORMATION pi;
		if (!Start(outPath, cmdline, false, 0, &pi))
			return false;
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
	return WriteFileBytes(path, out, n);
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

int
main(int argc, char **argv)
{
	if (argc != 2)
		return 2;
	scriptPath = argv[1];
	FILE *f = std::fopen(scriptPath, "rb");
	if (f == nullptr)
		return Fail("cannot open script", scriptPath);
	size_t len = std::fread(script, 1, sizeof script - 1, f);
	std::fclose(f);
	script[len] = '\0';
	char started[MAX_PATH + 16];
	std::snprintf(started, sizeof started, "%s.started", scriptPath);
	if (!WriteFileBytes(started, "", 0))
		return Fail("cannot write", started);

	for (char *line = script; *line != '\0';) {
		char *end = std::strchr(line, '\n');
		char *next = end != nullptr ? end + 1 : line + std::strlen(line);
		if (end != nullptr)
			*end = '\0';
		char *arg = Split(line);
		if (arg == nullptr)
			arg = line + std::strlen(line);

		if (std::strcmp(line, "title") == 0) {
			SetConsoleTitleA(arg);
		} else if (std::strcmp(line, "utitle") == 0) {
			if (!SetTitleUtf8(arg))
				return Fail("utitle", arg);
		} else if (std::strcmp(line, "probe") == 0) {
			if (!Probe(arg))
				return Fail("probe", arg);
		} else if (std::strcmp(line, "cd") == 0) {
			if (!SetCurrentDirectoryA(arg))
				return Fail("cd", arg);
		} else if (std::strcmp(line, "run") == 0 || std::strcmp(line, "wrun") == 0) {
			char *cmdline = Split(arg);
			if (cmdline == nullptr)
				return Fail("run needs a command line", arg);
			if (const char *failed = Run(arg, cmdline, line[0] == 'w', 0))
				return Fail(failed, cmdline);
		} else if (std::strcmp(line, "nwrun") == 0) {
			char *cmdline = Split(arg);
			if (cmdline == nullptr)
				return Fail("nwrun needs a command line", arg);
			if (const char *failed = Run(arg, cmdline, false, CREATE_NO_WINDOW))
				return Fail(failed, cmdline);
		} else if (std::strcmp(line, "watch") == 0) {
			char *count = Split(arg);
			char *cmdline = count != nullptr ? Split(count) : nullptr;
			if (cmdline == nullptr || !Watch(arg, std::strtoul(count, nullptr, 10), cmdline))
				return Fail("watch", arg);
		} else if (std::strcmp(line, "interrupt") == 0) {
			char *event = Split(arg);
			char *when = event != nullptr ? Split(event) : nullptr;
			char *cmdline = when != nullptr ? Split(when) : nullptr;
			if (cmdline == nullptr)
				return Fail("interrupt needs an event, a moment and a command line", arg);
			if (!Interrupt(arg, event, when, cmdline))
				return Fail("interrupt", cmdline);
		} else if (std::strcmp(line, "waitfile") == 0) {
			DWORD start = GetTickCount();
			while (GetFileAttributesA(arg) == INVALID_FILE_ATTRIBUTES) {
				if (GetTickCount() - start > 60000)
					return Fail("waitfile timed out", arg);
				Sleep(1);
			}
		} else if (std::strcmp(line, "verinfo") == 0) {
			char *exe = Split(arg);
			if (exe == nullptr)
				return Fail("verinfo needs a file and a program", arg);
			if (!VersionInfo(arg, exe))
				return Fail("verinfo", exe);
		} else if (std::strcmp(line, "send") == 0) {
			char *file = Split(arg);
			if (file == nullptr)
				return Fail("send needs a port and a file", arg);
			if (!Send(arg, file))
				return Fail("send", arg);
		} else if (std::strcmp(line, "syscommand") == 0) {
			if (!SendToConsole(WM_SYSCOMMAND, std::strtoul(arg, nullptr, 10), 0))
				return Fail("syscommand", arg);
		} else if (std::strcmp(line, "resetmenu") == 0) {
			GetSystemMenu(GetConsoleWindow(), TRUE);
		} else if (std::strcmp(line, "key") == 0) {
			if (!Key(std::strtoul(arg, nullptr, 10)))
				return Fail("key", arg);
		} else if (std::strcmp(line, "sleep") == 0) {
			Sleep(std::strtoul(arg, nullptr, 10));
		} else if (std::strcmp(line, "cp") == 0) {
			if (!SetConsoleOutputCP(std::strtoul(arg, nullptr, 10)))
				return Fail("cp", arg);
		} else if (std::strcmp(line, "closewin") == 0) {
			if (!CloseWindow(arg))
				return Fail("closewin", arg);
		} else if (std::strcmp(line, "front") == 0) {
			if (!Front(arg))
				return Fail("front", arg);
		} else if (std::strcmp(line, "settle") == 0) {
			if (!Settle())
				return Fail("settle", arg);
		} else if (line[0] != '\0') {
			return Fail("unknown step", line);
		}
		line = next;
	}
	return 0;
}
