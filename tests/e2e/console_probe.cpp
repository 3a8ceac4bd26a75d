/*
 * Test driver that lives in the console under test. It reads a script of
 * steps, one a line, and carries them out in order:
 *
 *   title TEXT          set the console title
 *   utitle TEXT         set it from UTF-8 through the wide entry, with
 *                       characters no 8-bit code page has
 *   probe FILE          write this console's window, the foreground window
 *                       and the console title, 8-bit and as UTF-16 units
 *                       in hex, to FILE
 *   cd DIR              change the current directory
 *   run FILE CMDLINE    run CMDLINE with its standard output to FILE, then
 *                       write its exit status and run time to FILE.status
 *   wrun FILE CMDLINE   the same, CMDLINE in UTF-8 started as UTF-16, as
 *                       shells and Explorer start programs on NT
 *   sleep MS            wait
 *   verinfo FILE EXE    write EXE's version resource to FILE, as Explorer
 *                       and PowerShell read it: the fixed versions, then
 *                       each string of the language its translation names
 *   waitfile PATH       wait until PATH exists (at most 60 s)
 *   interrupt FILE EVENT CMDLINE
 *                       run CMDLINE; as soon as the console shows the
 *                       temporary title, send EVENT (c or break) to it; then
 *                       write to FILE whether the event went out during the
 *                       temporary title, and the exit status
 *
 * Exits 0 when every step ran, 2 (after writing SCRIPT.error) otherwise.
 */
#include <windows.h>

#include <cstdio>
#include <cstring>

static char script[1 << 21];
static char title[1 << 20]; /* Wine keeps titles of any length */
static WCHAR wtitle[1 << 20];

static const char *scriptPath;

static int
Fail(const char *what, const char *arg)
{
	char path[MAX_PATH + 16];
	std::snprintf(path, sizeof path, "%s.error", scriptPath);
	FILE *f = std::fopen(path, "wb");
	if (f != nullptr) {
		std::fprintf(f, "%s: %s (error %lu)\n", what, arg, GetLastError());
		std::fclose(f);
	}
	return 2;
}

static bool
WriteFileBytes(const char *path, const char *data, size_t n)
{
	FILE *f = std::fopen(path, "wb");
	if (f == nullptr)
		return false;
	bool ok = std::fwrite(data, 1, n, f) == n;
	return std::fclose(f) == 0 && ok;
}

static bool
Probe(const char *path)
{
	static char out[sizeof title + 4 * (sizeof wtitle / sizeof *wtitle) + 128];
	title[0] = '\0'; /* an empty title is not written */
	wtitle[0] = 0;
	DWORD n = GetConsoleTitleA(title, sizeof title);
	GetConsoleTitleW(wtitle, sizeof wtitle / sizeof *wtitle);
	int head = std::snprintf(out, sizeof out, "console=%lu\nforeground=%lu\ntitlelen=%lu\nwtitle=",
	                         (unsigned long)(ULONG_PTR)GetConsoleWindow(),
	                         (unsigned long)(ULONG_PTR)GetForegroundWindow(), n);
	for (const WCHAR *w = wtitle; *w != 0; w++)
		head += std::snprintf(out + head, sizeof out - head, "%04x", (unsigned)*w);
	head += std::snprintf(out + head, sizeof out - head, "\ntitle=");
	size_t kept = std::strlen(title); /* n may count what did not fit */
	std::memcpy(out + head, title, kept);
	return WriteFileBytes(path, out, head + kept);
}

static bool
SetTitleUtf8(const char *text)
{
	int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wtitle,
	                            sizeof wtitle / sizeof *wtitle);
	return n > 0 && SetConsoleTitleW(wtitle);
}

static bool
Run(const char *outPath, char *cmdline, bool wide)
{
	SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
	HANDLE out = CreateFileA(outPath, GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
	                         FILE_ATTRIBUTE_NORMAL, nullptr);
	if (out == INVALID_HANDLE_VALUE)
		return false;
	STARTUPINFOW si; /* the same layout as STARTUPINFOA */
	std::memset(&si, 0, sizeof si);
	si.cb = sizeof si;
	si.dwFlags = STARTF_USESTDHANDLES;
	si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
	si.hStdOutput = out;
	si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
	PROCESS_INFORMATION pi;
	DWORD start = GetTickCount();
	BOOL ok;
	if (wide)
		ok = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, cmdline, -1, wtitle,
		                         sizeof wtitle / sizeof *wtitle) > 0 &&
		     CreateProcessW(nullptr, wtitle, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
		                    &pi);
	else
		ok = CreateProcessA(nullptr, cmdline, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
		                    reinterpret_cast<STARTUPINFOA *>(&si), &pi);
	CloseHandle(out);
	if (!ok)
		return false;
	WaitForSingleObject(pi.hProcess, INFINITE);
	DWORD status = 0;
	GetExitCodeProcess(pi.hProcess, &status);
	DWORD elapsed = GetTickCount() - start;
	CloseHandle(pi.hThread);
	CloseHandle(pi.hProcess);

	char path[MAX_PATH + 16], text[64];
	std::snprintf(path, sizeof path, "%s.status", outPath);
	int n = std::snprintf(text, sizeof text, "%lu %lu\n", status, elapsed);
	return WriteFileBytes(path, text, n);
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

static const char TEMP_TITLE[] = "{98C1C303-2A9E-11d4-9FF5-006067718D05}";

static bool
Interrupt(const char *outPath, const char *event, char *cmdline)
{
	bool brk = std::strcmp(event, "break") == 0;
	STARTUPINFOA si;
	std::memset(&si, 0, sizeof si);
	si.cb = sizeof si;
	PROCESS_INFORMATION pi;
	/* Ctrl+Break goes to the child's own group; Ctrl+C to the whole console. */
	DWORD flags = brk ? CREATE_NEW_PROCESS_GROUP : 0;
	if (!CreateProcessA(nullptr, cmdline, nullptr, nullptr, FALSE, flags, nullptr, nullptr,
	                    &si, &pi))
		return false;
	SetConsoleCtrlHandler(nullptr, TRUE); /* after the child took its own setting */

	bool sent = false;
	DWORD start = GetTickCount();
	while (GetTickCount() - start < 20000 &&
	       WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
		if (GetConsoleTitleA(title, sizeof title) != 0 && std::strcmp(title, TEMP_TITLE) == 0) {
			sent = GenerateConsoleCtrlEvent(brk ? CTRL_BREAK_EVENT : CTRL_C_EVENT,
			                                brk ? pi.dwProcessId : 0) != 0;
			break;
		}
	}
	WaitForSingleObject(pi.hProcess, 20000);
	DWORD status = 0;
	GetExitCodeProcess(pi.hProcess, &status);
	CloseHandle(pi.hThread);
	CloseHandle(pi.hProcess);
	Sleep(100);
	SetConsoleCtrlHandler(nullptr, FALSE);

	char text[64];
	int n = std::snprintf(text, sizeof text, "sent=%d status=%lu\n", sent ? 1 : 0, status);
	return WriteFileBytes(outPath, text, n);
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

	for (char *line = script; *line != '\0';) {
		char *end = std::strchr(line, '\n');
		char *next = end != nullptr ? end + 1 : line + std::strlen(line);
		if (end != nullptr)
			*end = '\0';
		char *arg = std::strchr(line, ' ');
		if (arg != nullptr)
			*arg++ = '\0';
		else
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
			char *cmdline = std::strchr(arg, ' ');
			if (cmdline == nullptr)
				return Fail("run needs a command line", arg);
			*cmdline++ = '\0';
			if (!Run(arg, cmdline, line[0] == 'w'))
				return Fail("run", cmdline);
		} else if (std::strcmp(line, "interrupt") == 0) {
			char *event = std::strchr(arg, ' ');
			char *cmdline = event != nullptr ? std::strchr(event + 1, ' ') : nullptr;
			if (cmdline == nullptr)
				return Fail("interrupt needs an event and a command line", arg);
			*event++ = '\0';
			*cmdline++ = '\0';
			if (!Interrupt(arg, event, cmdline))
				return Fail("interrupt", cmdline);
		} else if (std::strcmp(line, "waitfile") == 0) {
			DWORD start = GetTickCount();
			while (GetFileAttributesA(arg) == INVALID_FILE_ATTRIBUTES) {
				if (GetTickCount() - start > 60000)
					return Fail("waitfile timed out", arg);
				Sleep(1);
			}
		} else if (std::strcmp(line, "verinfo") == 0) {
			char *exe = std::strchr(arg, ' ');
			if (exe == nullptr)
				return Fail("verinfo needs a file and a program", arg);
			*exe++ = '\0';
			if (!VersionInfo(arg, exe))
				return Fail("verinfo", exe);
		} else if (std::strcmp(line, "sleep") == 0) {
			Sleep(std::strtoul(arg, nullptr, 10));
		} else if (line[0] != '\0') {
			return Fail("unknown step", line);
		}
		line = next;
	}
	return 0;
}
