/*
 * Test driver that acts as a terminal, as Windows Terminal does: it runs a
 * command line in a pseudo console of its own and keeps what the pseudo
 * console sends it.
 *
 *   pty_probe CMDFILE OUT STREAM
 *
 * CMDFILE holds the command line in UTF-8; it is started as UTF-16. The
 * program's standard output goes to a pipe of the probe's, kept in OUT; the
 * pseudo console's stream (the text and the title sequences a terminal
 * renders) in STREAM, read while the program runs and to its end. The exit
 * status goes to OUT.status. Exits 0 when all that worked, 2 otherwise.
 */
#define _WIN32_WINNT 0x0A00
#define NTDDI_VERSION 0x0A000006
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "probe_files.h"

static char stream[1 << 20], out[1 << 20];
static DWORD streamLength, outLength;

/* PIPE to its end, or as much as BUFFER holds. */
static void
ReadAll(HANDLE pipe, char *buffer, DWORD size, DWORD *length)
{
	DWORD got;
	while (*length < size && ReadFile(pipe, buffer + *length, size - *length, &got, nullptr) &&
	       got != 0)
		*length += got;
}

static DWORD WINAPI
ReadStream(LPVOID pipe)
{
	ReadAll(pipe, stream, sizeof stream, &streamLength);
	return 0;
}

static int
Fail(const char *what)
{
	std::fprintf(stderr, "pty_probe: %s (error %lu)\n", what, GetLastError());
	return 2;
}

int
main(int argc, char **argv)
{
	if (argc != 4)
		return Fail("usage: pty_probe CMDFILE OUT STREAM");
	static char utf8[1 << 16];
	static WCHAR cmdline[1 << 16];
	FILE *f = std::fopen(argv[1], "rb");
	if (f == nullptr)
		return Fail("cannot read the command line");
	size_t n = std::fread(utf8, 1, sizeof utf8 - 1, f);
	std::fclose(f);
	utf8[n] = '\0';
	if (MultiByteToWideChar(CP_UTF8, 0, utf8, -1, cmdline, sizeof cmdline / sizeof *cmdline) == 0)
		return Fail("command line not UTF-8");

	HANDLE inRead, inWrite, streamRead, streamWrite;
	if (!CreatePipe(&inRead, &inWrite, nullptr, 0) ||
	    !CreatePipe(&streamRead, &streamWrite, nullptr, 0))
		return Fail("CreatePipe");
	HPCON console;
	if (FAILED(CreatePseudoConsole(COORD{80, 25}, inRead, streamWrite, 0, &console)))
		return Fail("CreatePseudoConsole");
	CloseHandle(inRead);
	CloseHandle(streamWrite);
	HANDLE reader = CreateThread(nullptr, 0, ReadStream, streamRead, 0, nullptr);

	/* Only now: the console host would inherit an inheritable end made before. */
	SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
	HANDLE outRead, outWrite;
	if (!CreatePipe(&outRead, &outWrite, &sa, 0) ||
	    !SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0))
		return Fail("CreatePipe for the output");

	STARTUPINFOEXW si;
	std::memset(&si, 0, sizeof si);
	si.StartupInfo.cb = sizeof si;
	si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
	si.StartupInfo.hStdOutput = outWrite;
	static char attributes[256];
	SIZE_T size = sizeof attributes;
	si.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes);
	if (!InitializeProcThreadAttributeList(si.lpAttributeList, 1, 0, &size) ||
	    !UpdateProcThreadAttribute(si.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE,
	                               console, sizeof console, nullptr, nullptr))
		return Fail("the pseudo console attribute");
	PROCESS_INFORMATION pi;
	if (!CreateProcessW(nullptr, cmdline, nullptr, nullptr, TRUE, EXTENDED_STARTUPINFO_PRESENT,
	                    nullptr, nullptr, &si.StartupInfo, &pi))
		return Fail("CreateProcessW");
	CloseHandle(outWrite);

	ReadAll(outRead, out, sizeof out, &outLength);
	WaitForSingleObject(pi.hProcess, INFINITE);
	DWORD status = 0;
	GetExitCodeProcess(pi.hProcess, &status);

	/* The stream ends once the console host has gone with the console. */
	ClosePseudoConsole(console);
	CloseHandle(inWrite);
	if (WaitForSingleObject(reader, 20000) != WAIT_OBJECT_0)
		return Fail("the pseudo console's stream did not end");

	char path[MAX_PATH + 16], text[32];
	std::snprintf(path, sizeof path, "%s.status", argv[2]);
	int len = std::snprintf(text, sizeof text, "%lu\n", status);
	if (!WriteFileBytes(argv[2], out, outLength) || !WriteFileBytes(path, text, len) ||
	    !WriteFileBytes(argv[3], stream, streamLength))
		return Fail("cannot write the results");
	return 0;
}
