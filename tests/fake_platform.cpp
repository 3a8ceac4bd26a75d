#include "fake_platform.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace fake {

State state;

void
Reset(void)
{
	state = State();
}

std::vector<std::string>
Calls(const std::string &prefix)
{
	std::vector<std::string> out;
	for (const std::string &c : state.calls)
		if (c.compare(0, prefix.size(), prefix) == 0)
			out.push_back(c);
	return out;
}

static void
Log(const char *format, ...) __attribute__((format(printf, 1, 2)));

static void
Log(const char *format, ...)
{
	char line[512];
	va_list ap;
	va_start(ap, format);
	std::vsnprintf(line, sizeof line, format, ap);
	va_end(ap);
	state.calls.push_back(line);
}

/* Long titles are logged by length and head only. */
static std::string
Shown(const char *s)
{
	std::string t = s == nullptr ? "(null)" : s;
	if (t.size() > 60)
		t = t.substr(0, 40) + "...[" + std::to_string(t.size()) + "]";
	return t;
}

/* The drive's figures, or null when its query fails. */
static const Disk *
FindDisk(const char *root)
{
	auto d = state.disks.find(root);
	return d == state.disks.end() || !d->second.ok ? nullptr : &d->second;
}

static int PLAT_WINAPI
FreeSpaceEx(const char *root, std::uint64_t *toCaller, std::uint64_t *total,
            std::uint64_t *totalFree)
{
	Log("GetDiskFreeSpaceExA(%s)", root);
	const Disk *d = FindDisk(root);
	if (d == nullptr)
		return 0;
	*toCaller = d->freeToCaller;
	*total = d->total;
	*totalFree = d->totalFree;
	return 1;
}

} // namespace fake

using fake::Log;
using fake::Shown;
using fake::state;

namespace plat {

unsigned
GetConsoleTitleA(char *title, unsigned size)
{
	Log("GetConsoleTitleA(%u)", size);
	if (size == 0)
		return 0;
	std::size_t n = std::min<std::size_t>(state.title.size(), size - 1);
	std::memcpy(title, state.title.data(), n);
	title[n] = '\0';
	return static_cast<unsigned>(state.reportsCopiedLength ? n : state.title.size());
}

void
BeginTitleGuard(void)
{
	Log("BeginTitleGuard()");
	state.guardMaxDepth = std::max(state.guardMaxDepth, ++state.guardDepth);
}

void
EndTitleGuard(void)
{
	Log("EndTitleGuard()");
	state.guardDepth--;
}

int
SetConsoleTitleA(const char *title)
{
	Log("SetConsoleTitleA(%s)", Shown(title).c_str());
	state.title = title;
	return 1;
}

void
Sleep(unsigned milliseconds)
{
	Log("Sleep(%u)", milliseconds);
}

WindowHandle
FindWindowA(const char *className, const char *windowName)
{
	Log("FindWindowA(%s,%s)", Shown(className).c_str(), Shown(windowName).c_str());
	bool ours = windowName != nullptr && state.title == windowName;
	return ours ? state.consoleWindow : 0;
}

WindowHandle
GetForegroundWindow(void)
{
	Log("GetForegroundWindow()");
	return state.foreground;
}

MenuHandle
GetSystemMenu(WindowHandle window, int revert)
{
	Log("GetSystemMenu(%ju,%d)", static_cast<uintmax_t>(window), revert);
	return window == 0 ? 0 : state.systemMenu;
}

int
DeleteMenu(MenuHandle menu, unsigned position, unsigned flags)
{
	Log("DeleteMenu(%ju,0x%X,0x%X)", static_cast<uintmax_t>(menu), position, flags);
	return menu != 0;
}

int
SetWindowPos(WindowHandle window, WindowHandle insertAfter, int x, int y,
             int cx, int cy, unsigned flags)
{
	Log("SetWindowPos(%ju,%ju,%d,%d,%d,%d,0x%04X)", static_cast<uintmax_t>(window),
	    static_cast<uintmax_t>(insertAfter), x, y, cx, cy, flags);
	return window != 0;
}

int
SendMessageTimeoutA(WindowHandle window, unsigned message, std::uintptr_t wParam,
                    std::intptr_t lParam, unsigned flags, unsigned timeoutMs,
                    std::uintptr_t *result)
{
	Log("SendMessageTimeoutA(0x%jX,0x%X,%ju,%jd,0x%X,%u)",
	    static_cast<uintmax_t>(window), message, static_cast<uintmax_t>(wParam),
	    static_cast<intmax_t>(lParam), flags, timeoutMs);
	if (result != nullptr)
		*result = 0;
	return 1;
}

int
GetVersionExA(VersionInfo *info)
{
	Log("GetVersionExA(%u)", info->dwOSVersionInfoSize);
	state.versionSizesSeen.push_back(info->dwOSVersionInfoSize);
	const unsigned char *bytes = reinterpret_cast<const unsigned char *>(info);
	int dirty = 0;
	for (std::size_t i = sizeof info->dwOSVersionInfoSize; i < sizeof *info; i++)
		dirty += bytes[i] != 0;
	state.versionDirtyBytesSeen.push_back(dirty);
	bool ex = info->dwOSVersionInfoSize == VERSION_INFO_EX_SIZE;
	bool basic = info->dwOSVersionInfoSize == VERSION_INFO_SIZE;
	if (!((ex && state.acceptsEx) || (basic && state.acceptsBasic))) {
		info->dwBuildNumber = 1381; /* leave a mark a re-zeroing would wipe */
		return 0;
	}
	info->dwMajorVersion = state.major;
	info->dwMinorVersion = state.minor;
	info->dwPlatformId = state.platformId;
	return 1;
}

unsigned
GetCurrentDirectoryA(unsigned size, char *buffer)
{
	Log("GetCurrentDirectoryA(%u)", size);
	if (state.cwdFails)
		return 0;
	if (state.cwd.size() + 1 > size)
		return static_cast<unsigned>(state.cwd.size() + 1);
	std::memcpy(buffer, state.cwd.c_str(), state.cwd.size() + 1);
	return static_cast<unsigned>(state.cwd.size());
}

ModuleHandle
GetModuleHandleA(const char *moduleName)
{
	Log("GetModuleHandleA(%s)", moduleName);
	return std::strcmp(moduleName, "kernel32.dll") == 0 ? 0x7C800000 : 0;
}

Proc
GetProcAddress(ModuleHandle module, const char *procName)
{
	Log("GetProcAddress(0x%jX,%s)", static_cast<uintmax_t>(module), procName);
	if (module == 0x7C800000 && state.hasFreeSpaceEx &&
	    std::strcmp(procName, "GetDiskFreeSpaceExA") == 0)
		return reinterpret_cast<Proc>(&fake::FreeSpaceEx);
	return nullptr;
}

int
GetDiskFreeSpaceA(const char *root, std::uint32_t *sectorsPerCluster,
                  std::uint32_t *bytesPerSector, std::uint32_t *freeClusters,
                  std::uint32_t *totalClusters)
{
	Log("GetDiskFreeSpaceA(%s)", root);
	const fake::Disk *d = fake::FindDisk(root);
	if (d == nullptr)
		return 0;
	*sectorsPerCluster = d->sectorsPerCluster;
	*bytesPerSector = d->bytesPerSector;
	*freeClusters = d->freeClusters;
	*totalClusters = d->totalClusters;
	return 1;
}

int
StatPath(const char *path)
{
	Log("StatPath(%s)", Shown(path).c_str());
	return state.files.count(path) != 0 ? 0 : -1;
}

} // namespace plat
