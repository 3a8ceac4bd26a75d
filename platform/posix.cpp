/*
 * POSIX stand-in, so that the core builds and runs on Unix for development.
 * The title is set with xterm's escape on the controlling terminal, never on
 * standard output, and never read back. The console has no window, so /c
 * gives 0. Windows, menus, broadcast, Windows version and disk space
 * fail as the Win32 calls fail.
 */
#include "platform.h"

#include <climits>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

/* OSC 2 on /dev/tty; control characters would end the sequence or start another. */
int
SetConsoleTitleA(const char *title)
{
	int fd = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
	if (fd < 0)
		return 0;
	bool ok = write(fd, "\033]2;", 4) == 4;
	for (const char *p = title; ok && *p != '\0';) {
		size_t n = 0;
		while (static_cast<unsigned char>(p[n]) >= 0x20 && p[n] != 0x7F)
			n++;
		ok = write(fd, p, n) == static_cast<ssize_t>(n);
		p += n;
		while (*p != '\0' && (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F))
			p++;
	}
	ok = ok && write(fd, "\007", 1) == 1;
	close(fd);
	return ok;
}

/* Never read back; a terminal's title is bytes, so the wide entries fail. */
unsigned GetConsoleTitleA(char *, unsigned) { return 0; }
unsigned GetConsoleTitleW(char16_t *, unsigned) { return 0; }
int SetConsoleTitleW(const char16_t *) { return 0; }

/* No temporary title is ever shown, so there is nothing to guard. */
void BeginTitleGuard(void) {}
void EndTitleGuard(void) {}

void
Sleep(unsigned milliseconds)
{
	struct timespec ts = {static_cast<time_t>(milliseconds / 1000),
	                      static_cast<long>(milliseconds % 1000) * 1000000L};
	nanosleep(&ts, nullptr);
}

/* A console without a window, and no window manager to ask. */
bool GetConsoleWindow(WindowHandle *window) { *window = 0; return true; }
WindowHandle FindWindowA(const char *, const char *) { return 0; }
WindowHandle GetAncestor(WindowHandle, unsigned) { return 0; }
WindowHandle GetDesktopWindow(void) { return 0; }
int GetClassNameA(WindowHandle, char *, int) { return 0; }
WindowHandle GetForegroundWindow(void) { return 0; }
MenuHandle GetSystemMenu(WindowHandle, int) { return 0; }
int DeleteMenu(MenuHandle, unsigned, unsigned) { return 0; }
int SetWindowPos(WindowHandle, WindowHandle, int, int, int, int, unsigned) { return 0; }
/* No windows to tell: the font change reaches no one, and nothing is waited for. */
int EnumWindows(EnumWindowsProc, intptr_t) { return 1; }
uint32_t GetWindowThreadProcessId(WindowHandle) { return 0; }
int IsHungAppWindow(WindowHandle) { return 0; }
int SendNotifyMessageA(WindowHandle, unsigned, uintptr_t, intptr_t) { return 0; }
intptr_t SendMessageTimeoutA(WindowHandle, unsigned, uintptr_t, intptr_t, unsigned, unsigned,
                             uintptr_t *result)
{
	*result = 0;
	return 0;
}

unsigned
GetTickCount(void)
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return static_cast<unsigned>(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}
int GetVersionExA(VersionInfo *) { return 0; }

/* The length without the NUL, or the size needed when the buffer is short. */
unsigned
GetCurrentDirectoryA(unsigned size, char *buffer)
{
	char cwd[PATH_MAX];
	if (getcwd(cwd, sizeof cwd) == nullptr)
		return 0;
	unsigned len = static_cast<unsigned>(std::strlen(cwd));
	if (len < size)
		std::memcpy(buffer, cwd, len + 1);
	return len < size ? len : len + 1;
}

/* No drives: no module, no entry, and the 32-bit query fails. */
ModuleHandle GetModuleHandleA(const char *) { return 0; }
Proc GetProcAddress(ModuleHandle, const char *) { return nullptr; }
int GetDiskFreeSpaceA(const char *, uint32_t *, uint32_t *, uint32_t *,
                      uint32_t *) { return 0; }

/* Arguments, file names and output are bytes here: nothing to convert. */
unsigned GetConsoleOutputCP(void) { return 0; }
char16_t **GetMainArgsW(int *argc) { *argc = 0; return nullptr; }
unsigned MultiByteToWideChar(unsigned, const char *, char16_t *, unsigned) { return 0; }
unsigned WideCharToMultiByte(unsigned, unsigned, const char16_t *, char *, unsigned) { return 0; }

int StatPath(const char *path) { struct stat st; return stat(path, &st); }
int StatPathW(const char16_t *) { return STAT_UNAVAILABLE; }

} // namespace plat
