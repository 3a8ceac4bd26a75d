#include "fake_platform.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

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

const char *
Name(Console console)
{
	switch (console) {
	case Console::Win9x: return "9x";
	case Console::WinXP: return "XP";
	case Console::Wine: return "Wine";
	}
	return "?";
}

const char *
Name(Host host)
{
	switch (host) {
	case Host::Classic: return "classic";
	case Host::Terminal: return "Windows Terminal";
	case Host::Unowned: return "unowned stand-in";
	case Host::MessageOnly: return "message-only";
	case Host::NoWindow: return "no window";
	case Host::Stale: return "no window, 1809";
	case Host::NoEntry: return "no GetConsoleWindow";
	}
	return "?";
}

bool
IsPseudo(Host host)
{
	return host == Host::Terminal || host == Host::Unowned || host == Host::MessageOnly;
}

static bool
Pseudo(void)
{
	return IsPseudo(state.host);
}

bool
HasEntry(void)
{
	return state.console != Console::Win9x && state.host != Host::NoEntry;
}

/* A console with a window of its own, found by its title where it shows. */
static bool
Windowed(void)
{
	return state.host == Host::Classic || state.host == Host::NoEntry;
}

/* The fake's code page: a byte is the code point of the same number. */
static std::u16string
Widen(const std::string &bytes)
{
	const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes.data());
	return std::u16string(b, b + bytes.size());
}

Title &
Title::operator=(const std::string &bytes)
{
	units = Widen(bytes);
	return *this;
}

Title &
Title::operator=(const std::u16string &wide)
{
	units = wide;
	return *this;
}

bool
Title::operator==(const std::string &bytes) const
{
	return units == Widen(bytes);
}

std::string
Utf8(const std::u16string &wide)
{
	std::string out;
	for (std::size_t i = 0; i < wide.size(); i++) {
		char32_t c = wide[i];
		if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
		    wide[i + 1] < 0xE000)
			c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
		if (c < 0x80) {
			out += static_cast<char>(c);
		} else if (c < 0x800) {
			out += static_cast<char>(0xC0 | c >> 6);
			out += static_cast<char>(0x80 | (c & 0x3F));
		} else if (c < 0x10000) {
			out += static_cast<char>(0xE0 | c >> 12);
			out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
			out += static_cast<char>(0x80 | (c & 0x3F));
		} else {
			out += static_cast<char>(0xF0 | c >> 18);
			out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
			out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
			out += static_cast<char>(0x80 | (c & 0x3F));
		}
	}
	return out;
}

void
PrintTo(const Title &title, std::ostream *os)
{
	std::string text = Utf8(title.units);
	*os << title.units.size() << " units \"";
	if (text.size() > 80)
		*os << text.substr(0, 40) << "..." << text.substr(text.size() - 20);
	else
		*os << text;
	*os << "\"";
}

/* Long titles are logged by length and head only. */
static std::string
Shown(std::string t)
{
	if (t.size() > 60)
		t = t.substr(0, 40) + "...[" + std::to_string(t.size()) + "]";
	return t;
}

static std::string
Shown(const char *s)
{
	return Shown(std::string(s == nullptr ? "(null)" : s));
}

/*
 * A title read as the chosen console answers it, into size units of title.
 *   9x:       8-bit: the copied length, cut to fit; wide: a stub, 0.
 *   XP, 2003: the copied length, cut to fit; 0 for an empty title, with no
 *             NUL written; buffers above 24 500 units fail.
 *   Wine:     the full length, cut to fit, at any size.
 */
/* The title as the entry reading it sees it: 8-bit through the code page. */
template <typename Char>
static void
CopyTitle(Char *title, std::size_t n)
{
	for (std::size_t i = 0; i < n; i++) {
		char16_t c = state.title.units[i];
		title[i] = sizeof(Char) > 1 || c <= 0xFF ? static_cast<Char>(c) : '?';
	}
}

template <typename Char>
static unsigned
ReadTitle(Char *title, unsigned size)
{
	bool wide = sizeof(Char) > 1;
	Console m = state.console;
	std::size_t len = state.title.units.size();
	if (size == 0 || (m == Console::Win9x && wide))
		return 0;
	if (m == Console::WinXP && (size > 24500 || len == 0))
		return 0;
	std::size_t n = std::min(len, static_cast<std::size_t>(size) - 1);
	CopyTitle(title, n);
	title[n] = 0;
	bool copiedLength = m == Console::Win9x || m == Console::WinXP;
	return static_cast<unsigned>(copiedLength ? n : len);
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
	return fake::ReadTitle(title, size);
}

unsigned
GetConsoleTitleW(char16_t *title, unsigned size)
{
	Log("GetConsoleTitleW(%u)", size);
	return fake::ReadTitle(title, size);
}

int
SetConsoleTitleW(const char16_t *title)
{
	std::u16string wide(title);
	std::string shown = fake::Utf8(wide.substr(0, 61));
	if (wide.size() > 60)
		shown = fake::Utf8(wide.substr(0, 40)) + "...[" + std::to_string(wide.size()) + "]";
	Log("SetConsoleTitleW(%s)", shown.c_str());
	if (state.console == fake::Console::Win9x)
		return 0;
	state.title = wide;
	return 1;
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

unsigned
GetConsoleOutputCP(void)
{
	Log("GetConsoleOutputCP()");
	return state.outputCodePage;
}

bool
GetConsoleWindow(WindowHandle *window)
{
	Log("GetConsoleWindow()");
	if (!fake::HasEntry() || state.host == fake::Host::NoWindow)
		*window = 0;
	else if (state.host == fake::Host::Stale)
		*window = fake::STALE;
	else
		*window = fake::Pseudo() ? state.standIn : state.consoleWindow;
	return fake::HasEntry();
}

/*
 * By the caption, the first in Z-order: a foreign window above the console,
 * then the console's window, or under Windows Terminal its window, when the
 * caption has caught up with the tab; a stand-in has no caption.
 */
WindowHandle
FindWindowA(const char *className, const char *windowName)
{
	Log("FindWindowA(%s,%s)", Shown(className).c_str(), Shown(windowName).c_str());
	if (windowName == nullptr)
		return 0;
	if (state.foreignWindow != 0 && state.foreignCaption == windowName)
		return state.foreignWindow;
	if (state.captionLate ||
	    fake::Widen(state.captionPrefix) + state.title.units != fake::Widen(windowName))
		return 0;
	if (state.host == fake::Host::Terminal)
		return state.terminalWindow;
	return fake::Windowed() ? state.consoleWindow : 0;
}

WindowHandle
GetAncestor(WindowHandle window, unsigned flags)
{
	Log("GetAncestor(%ju,%u)", static_cast<uintmax_t>(window), flags);
	if (window == 0)
		return 0;
	bool standIn = fake::Pseudo() && window == state.standIn;
	if (flags == ANCESTOR_PARENT)
		return standIn && state.host == fake::Host::MessageOnly ? fake::MESSAGE_PARENT
		                                                         : fake::DESKTOP;
	if (flags == ANCESTOR_ROOTOWNER && standIn && state.host == fake::Host::Terminal)
		return state.terminalWindow;
	return flags == ANCESTOR_ROOTOWNER ? window : 0;
}

WindowHandle
GetDesktopWindow(void)
{
	Log("GetDesktopWindow()");
	return fake::DESKTOP;
}

int
GetClassNameA(WindowHandle window, char *name, int size)
{
	Log("GetClassNameA(%ju)", static_cast<uintmax_t>(window));
	const char *cls = nullptr;
	if (fake::Pseudo() && window == state.standIn)
		cls = state.host == fake::Host::MessageOnly ? "WineConsoleClass" : "PseudoConsoleWindow";
	else if (fake::Windowed() && window == state.consoleWindow)
		cls = "ConsoleWindowClass";
	else if (state.host == fake::Host::Terminal && window == state.terminalWindow)
		cls = "CASCADIA_HOSTING_WINDOW_CLASS";
	if (window == 0 || cls == nullptr || size <= 0)
		return 0;
	std::snprintf(name, static_cast<std::size_t>(size), "%s", cls);
	return static_cast<int>(std::min(std::strlen(cls), static_cast<std::size_t>(size) - 1));
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
EnumWindows(EnumWindowsProc proc, std::intptr_t data)
{
	Log("EnumWindows()");
	for (const fake::Window &w : state.windows)
		if (!proc(w.handle, data))
			break;
	return 1;
}

std::uint32_t
GetWindowThreadProcessId(WindowHandle window)
{
	for (const fake::Window &w : state.windows)
		if (w.handle == window)
			return static_cast<std::uint32_t>(w.thread);
	return 0;
}

int
IsHungAppWindow(WindowHandle window)
{
	for (const fake::Window &w : state.windows)
		if (w.handle == window)
			return state.hasHungEntry && w.hung;
	return 0;
}

/* a comes before b, across a wrap of the tick count too. */
static bool
Earlier(unsigned a, unsigned b)
{
	return a - b >= 0x80000000u;
}

static fake::Window *
Find(WindowHandle window, std::size_t *index = nullptr)
{
	for (std::size_t i = 0; i < state.windows.size(); i++)
		if (state.windows[i].handle == window) {
			if (index != nullptr)
				*index = i;
			return &state.windows[i];
		}
	return nullptr;
}

/* When the window's thread is through with all it has been sent. */
static unsigned
FreeAt(int thread)
{
	unsigned at = state.ticks;
	for (const fake::State::Pending &p : state.pending)
		if (state.windows[p.window].thread == thread && Earlier(at, p.due))
			at = p.due;
	return at;
}

/* Time passes to now + ms: what is due by then is handled, in order. */
static void
Advance(unsigned ms)
{
	if ((state.waited += ms) > 3600000) {
		std::fprintf(stderr, "fake: the program has waited an hour for windows\n");
		std::abort();
	}
	state.ticks += ms;
	std::stable_sort(state.pending.begin(), state.pending.end(),
	                 [](const fake::State::Pending &a, const fake::State::Pending &b) {
		                 return Earlier(a.due, b.due);
	                 });
	while (!state.pending.empty() && !Earlier(state.ticks, state.pending.front().due)) {
		fake::State::Pending p = state.pending.front();
		state.pending.erase(state.pending.begin());
		int thread = state.windows[p.window].thread;
		if (state.endedThreads.count(thread) != 0)
			continue;
		if (p.ends)
			state.endedThreads.insert(thread);
		else
			state.windows[p.window].handled++;
	}
}

/* Queued to the window's thread, handled once the thread gets to it. */
int
SendNotifyMessageA(WindowHandle window, unsigned message, std::uintptr_t wParam,
                   std::intptr_t lParam)
{
	Log("SendNotifyMessageA(%ju,0x%X,%ju,%jd)", static_cast<uintmax_t>(window), message,
	    static_cast<uintmax_t>(wParam), static_cast<intmax_t>(lParam));
	std::size_t i;
	fake::Window *w = Find(window, &i);
	if (w == nullptr || w->refuses || state.endedThreads.count(w->thread) != 0)
		return 0;
	if (w->drops)
		return 1;
	w->received++;
	if (!w->hung) {
		unsigned start = FreeAt(w->thread);
		bool ends = w->endsAfterMs != 0;
		state.pending.push_back({start + (ends ? w->endsAfterMs : w->answerMs), i, ends});
	}
	return 1;
}

/*
 * Answered once the window's thread has handled everything sent to it
 * before; 0 at the time-out, at once for a refused send or an ended
 * thread, and for a hung thread where the system tells (SMTO_ABORTIFHUNG).
 * A time-out of 0 is none at all (Windows, Wine, ReactOS).
 */
std::intptr_t
SendMessageTimeoutA(WindowHandle window, unsigned message, std::uintptr_t wParam,
                    std::intptr_t lParam, unsigned flags, unsigned milliseconds,
                    std::uintptr_t *result)
{
	Log("SendMessageTimeoutA(%ju,0x%X,%ju,%jd,0x%X)", static_cast<uintmax_t>(window), message,
	    static_cast<uintmax_t>(wParam), static_cast<intmax_t>(lParam), flags);
	*result = 0;
	if (milliseconds == 0) {
		std::fprintf(stderr, "fake: a send with a time-out of 0 waits for ever\n");
		std::abort();
	}
	fake::Window *w = Find(window);
	if (w == nullptr || w->refuses || state.endedThreads.count(w->thread) != 0)
		return 0;
	if (w->drops)
		return 1;
	if (w->hung) {
		if ((flags & ABORT_IF_HUNG) != 0 && !state.hungLate)
			return 0;
		Advance(milliseconds);
		return 0;
	}
	int thread = w->thread;
	unsigned answer = FreeAt(thread);
	for (const fake::State::Pending &p : state.pending)
		if (p.ends && state.windows[p.window].thread == thread && Earlier(p.due, answer))
			answer = p.due; /* its program ends first */
	if (answer - state.ticks > milliseconds) {
		Advance(milliseconds);
		return 0;
	}
	Advance(answer - state.ticks);
	return state.endedThreads.count(thread) == 0;
}

unsigned
GetTickCount(void)
{
	return state.ticks;
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
		/* Marks a re-zeroing would wipe; what a failed call leaves is no answer. */
		info->dwBuildNumber = 1381;
		info->wProductType = NT_WORKSTATION;
		return 0;
	}
	info->dwMajorVersion = state.major;
	info->dwMinorVersion = state.minor;
	info->dwPlatformId = state.platformId;
	if (ex)
		info->wProductType = state.productType;
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
	return strcasecmp(moduleName, "kernel32.dll") == 0 ? 0x7C800000 : 0; /* any case, as Windows */
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

int
StatPathW(const char16_t *path)
{
	std::u16string wide(path);
	Log("StatPathW(%s)", Shown(fake::Utf8(wide)).c_str());
	if (!state.hasWideStat)
		return STAT_UNAVAILABLE;
	bool narrow = std::all_of(wide.begin(), wide.end(), [](char16_t c) { return c < 256; });
	bool found = state.wideFiles.count(wide) != 0 ||
	             (narrow && state.files.count(std::string(wide.begin(), wide.end())) != 0);
	return found ? 0 : -1;
}

char16_t **
GetMainArgsW(int *argc)
{
	*argc = 0;
	state.wideArgsAsked++;
	if (!state.hasWideArgs || state.console == fake::Console::Win9x)
		return nullptr;
	state.wideArgv.clear();
	for (std::u16string &arg : state.wideArgs)
		state.wideArgv.push_back(&arg[0]);
	state.wideArgv.push_back(nullptr);
	*argc = static_cast<int>(state.wideArgs.size());
	return state.wideArgv.data();
}

/*
 * The fake's ANSI page: bytes are the first 256 code points, "?" the rest.
 * No other page is known.
 */
unsigned
MultiByteToWideChar(unsigned codePage, const char *text, char16_t *wide, unsigned size)
{
	std::size_t n = std::strlen(text);
	if (codePage != ANSI_CODE_PAGE || n + 1 > size)
		return 0;
	for (std::size_t i = 0; i <= n; i++)
		wide[i] = static_cast<unsigned char>(text[i]);
	return static_cast<unsigned>(n + 1);
}

/*
 * To the ANSI page, to UTF-8, or to 437 as far as its accented Latin
 * letters (0x80 to 0xAF); "?" for what the page lacks. The fake knows no
 * best fit; UTF-8, like Windows', and the 9x family refuse the flag for it.
 */
unsigned
WideCharToMultiByte(unsigned codePage, unsigned flags, const char16_t *wide, char *text,
                    unsigned size)
{
	static const char16_t OEM_US_HIGH[] = u"\u00c7\u00fc\u00e9\u00e2\u00e4\u00e0\u00e5\u00e7"
	                                      u"\u00ea\u00eb\u00e8\u00ef\u00ee\u00ec\u00c4\u00c5"
	                                      u"\u00c9\u00e6\u00c6\u00f4\u00f6\u00f2\u00fb\u00f9"
	                                      u"\u00ff\u00d6\u00dc\u00a2\u00a3\u00a5\u20a7\u0192"
	                                      u"\u00e1\u00ed\u00f3\u00fa\u00f1\u00d1\u00aa\u00ba"
	                                      u"\u00bf\u2310\u00ac\u00bd\u00bc\u00a1\u00ab\u00bb";
	std::string out;
	if (flags != 0 && (codePage == fake::UTF8 || state.console == fake::Console::Win9x))
		return 0;
	if (codePage == fake::UTF8) {
		out = fake::Utf8(wide);
	} else if (codePage == ANSI_CODE_PAGE || codePage == fake::OEM_US) {
		for (const char16_t *w = wide; *w != 0; w++) {
			bool pair = *w >= 0xD800 && *w < 0xDC00 && w[1] >= 0xDC00 && w[1] < 0xE000;
			const char16_t *oem = std::char_traits<char16_t>::find(OEM_US_HIGH, 48, *w);
			if (*w < 0x80 || (codePage == ANSI_CODE_PAGE && *w < 256))
				out += static_cast<char>(*w);
			else if (codePage == fake::OEM_US && oem != nullptr)
				out += static_cast<char>(0x80 + (oem - OEM_US_HIGH));
			else
				out += '?';
			w += pair;
		}
	} else {
		return 0;
	}
	if (out.size() + 1 > size)
		return 0;
	std::memcpy(text, out.c_str(), out.size() + 1);
	return static_cast<unsigned>(out.size() + 1);
}

} // namespace plat
