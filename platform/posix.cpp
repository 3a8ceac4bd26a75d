/*
 * POSIX stand-in. The terminal plays the console: its title is set and, where
 * the terminal answers, read back through xterm's escape sequences on the
 * controlling terminal (never on standard output). Operations with no POSIX
 * counterpart (window lookup, foreground window, system menu, broadcast,
 * Windows version) fail as the Win32 calls fail, so callers take their own
 * failure paths. Drive "X:\" maps to the WSL mount point /mnt/x where one
 * exists; elsewhere its free-space queries fail.
 */
#include "platform.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <termios.h>
#include <unistd.h>

/* How long a terminal gets to answer the title query. */
static const int TITLE_REPLY_MS = 150;

static int
OpenTerminal(void)
{
	return open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
}

static bool
WriteAll(int fd, const char *p, std::size_t n)
{
	while (n > 0) {
		ssize_t w = write(fd, p, n);
		if (w < 0 && errno == EINTR)
			continue;
		if (w <= 0)
			return false;
		p += w;
		n -= static_cast<std::size_t>(w);
	}
	return true;
}

static long
MonotonicMs(void)
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

/*
 * Reads the reply to CSI 21 t, OSC "l" title ST, into title. Returns the
 * title's length, or -1 when no complete reply came in time.
 */
static long
ReadTitleReply(int fd, char *title, unsigned size)
{
	enum { START, ESC1, OSC, L, BODY, BODY_ESC } state = START;
	unsigned len = 0;
	long deadline = MonotonicMs() + TITLE_REPLY_MS;

	for (;;) {
		long left = deadline - MonotonicMs();
		if (left <= 0)
			return -1;
		struct pollfd pfd = {fd, POLLIN, 0};
		int r = poll(&pfd, 1, static_cast<int>(left));
		if (r < 0 && errno == EINTR)
			continue;
		if (r <= 0)
			return -1;
		char chunk[256];
		ssize_t n = read(fd, chunk, sizeof chunk);
		if (n <= 0)
			return -1;
		for (ssize_t i = 0; i < n; i++) {
			char c = chunk[i];
			switch (state) {
			case START:
				state = c == '\033' ? ESC1 : START;
				break;
			case ESC1:
				state = c == ']' ? OSC : START;
				break;
			case OSC:
				state = c == 'l' ? L : START;
				break;
			case L:
			case BODY:
				if (c == '\007')
					goto done;
				if (c == '\033') {
					state = BODY_ESC;
					break;
				}
				if (len + 1 < size)
					title[len++] = c;
				state = BODY;
				break;
			case BODY_ESC:
				if (c == '\\')
					goto done;
				state = START;
				break;
			}
		}
	}
done:
	title[len] = '\0';
	return len;
}

static sigset_t guardSaved;

namespace plat {

/*
 * Signals that end or stop the process wait until the title is back. No
 * other copy can find this terminal's window, so there is nothing to share.
 */
void
BeginTitleGuard(void)
{
	sigset_t block;
	sigemptyset(&block);
	sigaddset(&block, SIGINT);
	sigaddset(&block, SIGTERM);
	sigaddset(&block, SIGHUP);
	sigaddset(&block, SIGQUIT);
	sigaddset(&block, SIGTSTP);
	sigprocmask(SIG_BLOCK, &block, &guardSaved);
}

void
EndTitleGuard(void)
{
	sigprocmask(SIG_SETMASK, &guardSaved, nullptr);
}

unsigned
GetConsoleTitleA(char *title, unsigned size)
{
	if (size == 0)
		return 0;
	int fd = OpenTerminal();
	if (fd < 0)
		return 0;
	long len = -1;
	struct termios saved;
	if (tcgetattr(fd, &saved) == 0) {
		struct termios raw = saved;
		raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
		raw.c_cc[VMIN] = 0;
		raw.c_cc[VTIME] = 0;
		if (tcsetattr(fd, TCSANOW, &raw) == 0) {
			if (WriteAll(fd, "\033[21t", 5))
				len = ReadTitleReply(fd, title, size);
			tcsetattr(fd, TCSANOW, &saved);
		}
	}
	close(fd);
	return len > 0 ? static_cast<unsigned>(len) : 0;
}

int
SetConsoleTitleA(const char *title)
{
	int fd = OpenTerminal();
	if (fd < 0)
		return 0;
	/* Control characters would end the sequence early or start another. */
	char out[512];
	std::size_t n = 0;
	bool ok = WriteAll(fd, "\033]2;", 4);
	for (const char *p = title; ok && *p != '\0'; p++) {
		unsigned char c = static_cast<unsigned char>(*p);
		if (c < 0x20 || c == 0x7F)
			continue;
		out[n++] = *p;
		if (n == sizeof out) {
			ok = WriteAll(fd, out, n);
			n = 0;
		}
	}
	ok = ok && WriteAll(fd, out, n) && WriteAll(fd, "\007", 1);
	close(fd);
	return ok;
}

/* A terminal's title is bytes: only the 8-bit entries work here. */
unsigned
GetConsoleTitleW(char16_t *, unsigned)
{
	return 0;
}

int
SetConsoleTitleW(const char16_t *)
{
	return 0;
}

void
Sleep(unsigned milliseconds)
{
	struct timespec ts;
	ts.tv_sec = milliseconds / 1000;
	ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
	while (nanosleep(&ts, &ts) != 0 && errno == EINTR)
		;
}

WindowHandle
FindWindowA(const char *, const char *)
{
	return 0;
}

WindowHandle
GetForegroundWindow(void)
{
	return 0;
}

MenuHandle
GetSystemMenu(WindowHandle, int)
{
	return 0;
}

int
DeleteMenu(MenuHandle, unsigned, unsigned)
{
	return 0;
}

int
SetWindowPos(WindowHandle, WindowHandle, int, int, int, int, unsigned)
{
	return 0;
}

int
SendMessageTimeoutA(WindowHandle, unsigned, std::uintptr_t, std::intptr_t,
                    unsigned, unsigned, std::uintptr_t *result)
{
	if (result != nullptr)
		*result = 0;
	return 0;
}

int
GetVersionExA(VersionInfo *)
{
	return 0;
}

unsigned
GetCurrentDirectoryA(unsigned size, char *buffer)
{
	char cwd[PATH_MAX];
	if (getcwd(cwd, sizeof cwd) == nullptr)
		return 0;
	std::size_t len = std::strlen(cwd);
	if (len + 1 > size)
		return static_cast<unsigned>(len + 1); /* size needed */
	std::memcpy(buffer, cwd, len + 1);
	return static_cast<unsigned>(len);
}

/* "X:\" to "/mnt/x"; false for anything else. */
static bool
DriveMountPoint(const char *root, char *path)
{
	char c = root[0];
	if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) ||
	    std::strcmp(root + 1, ":\\") != 0)
		return false;
	std::strcpy(path, "/mnt/x");
	path[5] = static_cast<char>(c | 0x20);
	return true;
}

static bool
StatDrive(const char *root, struct statvfs *sv)
{
	char path[8];
	return DriveMountPoint(root, path) && statvfs(path, sv) == 0;
}

static int PLAT_WINAPI
DiskFreeSpaceEx(const char *root, std::uint64_t *freeToCaller,
                std::uint64_t *total, std::uint64_t *totalFree)
{
	struct statvfs sv;
	if (!StatDrive(root, &sv))
		return 0;
	std::uint64_t unit = sv.f_frsize;
	*freeToCaller = static_cast<std::uint64_t>(sv.f_bavail) * unit;
	*total = static_cast<std::uint64_t>(sv.f_blocks) * unit;
	*totalFree = static_cast<std::uint64_t>(sv.f_bfree) * unit;
	return 1;
}

/* kernel32's part is played by this file, so it is the one module found. */
static const ModuleHandle KERNEL32 = 1;

ModuleHandle
GetModuleHandleA(const char *moduleName)
{
	return strcasecmp(moduleName, "kernel32.dll") == 0 ? KERNEL32 : 0;
}

Proc
GetProcAddress(ModuleHandle module, const char *procName)
{
	if (module == KERNEL32 && std::strcmp(procName, "GetDiskFreeSpaceExA") == 0)
		return reinterpret_cast<Proc>(&DiskFreeSpaceEx);
	return nullptr;
}

int
GetDiskFreeSpaceA(const char *root, std::uint32_t *sectorsPerCluster,
                  std::uint32_t *bytesPerSector, std::uint32_t *freeClusters,
                  std::uint32_t *totalClusters)
{
	struct statvfs sv;
	if (!StatDrive(root, &sv))
		return 0;
	/* One block per cluster; counts are clamped as the 32-bit call's are. */
	*sectorsPerCluster = 1;
	*bytesPerSector = static_cast<std::uint32_t>(sv.f_frsize);
	*freeClusters = sv.f_bavail > UINT32_MAX ? UINT32_MAX
	                                         : static_cast<std::uint32_t>(sv.f_bavail);
	*totalClusters = sv.f_blocks > UINT32_MAX ? UINT32_MAX
	                                          : static_cast<std::uint32_t>(sv.f_blocks);
	return 1;
}

int
StatPath(const char *path)
{
	struct stat st;
	return stat(path, &st);
}

} // namespace plat
