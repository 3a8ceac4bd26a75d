/*
 * Win32: the real platform, kernel32, user32 and msvcrt.dll through their
 * 8-bit entries; the wide ones (the title, the command line, the file query)
 * and the entries 95 to NT 4 lack are looked up at run time.
 */
#include "platform.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <windows.h>

/*
 * The program's own start-up, in place of MinGW's: msvcrt.dll splits the
 * command line and formats the output. Nothing of MinGW's runtime is linked,
 * so every instruction in the program is one the compiler was told the
 * processor has.
 */
struct StartupInfo {
	int newMode;
};
extern "C" {
__declspec(dllimport) int __cdecl __getmainargs(int *argc, char ***argv, char ***env,
                                                int expandWildcards, StartupInfo *info);
typedef int(__cdecl *WideMainArgsProc)(int *argc, wchar_t ***argv, wchar_t ***env,
                                       int expandWildcards, StartupInfo *info);
__declspec(dllimport) void __cdecl __set_app_type(int type);
void __cdecl mainCRTStartup(void);
void __cdecl __main(void);
}
int main(int argc, char **argv);

static const int CONSOLE_APP = 1; /* _CONSOLE_APP */
/*
 * Expansion would take every argument holding "*" or "?" for a path
 * pattern, options included: "/?" is "\?", any one-letter name in the
 * root of the drive, and would become "/T" beside a folder C:\T.
 */
static const int NO_WILDCARDS = 0;

/*
 * A drive without media (an empty floppy, card reader or optical drive)
 * would otherwise make the system ask the user to insert a disk and wait
 * for a click, holding a batch file; with these it fails as a drive that
 * cannot be read. Added to the mode the process inherited (a caller's
 * SEM_NOGPFAULTERRORBOX stays), which only setting it can read before Vista.
 */
static const UINT NO_ERROR_BOXES = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;

void __cdecl
mainCRTStartup(void)
{
	int argc = 0;
	char **argv = nullptr, **env = nullptr;
	StartupInfo info = {0};
	SetErrorMode(SetErrorMode(0) | NO_ERROR_BOXES);
	__set_app_type(CONSOLE_APP);
	__getmainargs(&argc, &argv, &env, NO_WILDCARDS, &info);
	exit(main(argc, argv));
}

/* GCC calls this from main to run static constructors; the program has none. */
void __cdecl
__main(void)
{
}

static_assert(sizeof(plat::VersionInfo) == sizeof(OSVERSIONINFOEXA),
              "VersionInfo must match OSVERSIONINFOEXA");
static_assert(plat::VERSION_INFO_EX_SIZE == sizeof(OSVERSIONINFOEXA), "");
static_assert(plat::VERSION_INFO_SIZE == sizeof(OSVERSIONINFOA), "");
static_assert(plat::CLOSE_COMMAND == SC_CLOSE, "");
static_assert(plat::BY_COMMAND == MF_BYCOMMAND, "");
static_assert(plat::FRAME_REFRESH == (SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE |
                                      SWP_FRAMECHANGED | SWP_ASYNCWINDOWPOS),
              "");
static_assert(plat::FONTCHANGE_MESSAGE == WM_FONTCHANGE, "");
static_assert(plat::NULL_MESSAGE == WM_NULL, "");
static_assert(plat::ABORT_IF_HUNG == SMTO_ABORTIFHUNG, "");
static_assert(plat::ANCESTOR_PARENT == GA_PARENT, "");
static_assert(plat::ANCESTOR_ROOTOWNER == GA_ROOTOWNER, "");
static_assert(plat::ANSI_CODE_PAGE == CP_ACP, "");
static_assert(plat::NO_BEST_FIT == WC_NO_BEST_FIT_CHARS, "");
static_assert(plat::NT_WORKSTATION == VER_NT_WORKSTATION, "");
static_assert(sizeof(ULARGE_INTEGER) == sizeof(uint64_t), "");

static_assert(sizeof(char16_t) == sizeof(WCHAR), "");

typedef DWORD(WINAPI *GetTitleWProc)(LPWSTR, DWORD);
typedef BOOL(WINAPI *SetTitleWProc)(LPCWSTR);
typedef HWND(WINAPI *ConsoleWindowProc)(void);
typedef HWND(WINAPI *AncestorProc)(HWND, UINT);
typedef BOOL(WINAPI *HungProc)(HWND);

/*
 * Entries some systems lack (the wide ones, msvcrt's later additions) are
 * looked up in the loaded module, not imported, so that the program still
 * loads there.
 */
static plat::Proc
Entry(const char *module, const char *name)
{
	HMODULE loaded = ::GetModuleHandleA(module);
	FARPROC p = loaded != nullptr ? ::GetProcAddress(loaded, name) : nullptr;
	return reinterpret_cast<plat::Proc>(p);
}

/*
 * The test build OSTRIVEL_NO_CONSOLE_WINDOW asks for an entry no kernel32
 * has, so that it finds the console's window as on 95 to NT 4.
 */
#ifdef OSTRIVEL_NO_CONSOLE_WINDOW
static const char CONSOLE_WINDOW_ENTRY[] = "NoConsoleWindowInThisBuild";
#else
static const char CONSOLE_WINDOW_ENTRY[] = "GetConsoleWindow";
#endif

static HWND
ToHwnd(plat::WindowHandle w)
{
	return reinterpret_cast<HWND>(w);
}

/*
 * The title guard: a named mutex shared by every copy in the session, held
 * while a temporary title is shown, and a mutex of this process that the
 * console control handler takes before letting the process end.
 */
static const char DISCOVERY_MUTEX[] = "Ostrivel.ConsoleDiscovery";
static const DWORD DISCOVERY_WAIT_MS = 2000; /* a discovery takes ~60 ms */
static const DWORD HANDLER_WAIT_MS = 3000;   /* within close's 5 s grace */

static HANDLE discoveryMutex;
static HANDLE titleLock;
static bool discoveryHeld;

static BOOL WINAPI
CtrlHandler(DWORD)
{
	/* Kept, not released: no new temporary title until the process ends. */
	WaitForSingleObject(titleLock, HANDLER_WAIT_MS);
	return FALSE; /* the default action ends the process */
}

namespace plat {

void
BeginTitleGuard(void)
{
	if (titleLock == nullptr) {
		titleLock = CreateMutexA(nullptr, FALSE, nullptr);
		discoveryMutex = CreateMutexA(nullptr, FALSE, DISCOVERY_MUTEX);
		if (titleLock != nullptr)
			SetConsoleCtrlHandler(CtrlHandler, TRUE);
	}
	/* Abandoned: a copy ended while holding it; the mutex is ours now. */
	DWORD w = discoveryMutex != nullptr
	              ? WaitForSingleObject(discoveryMutex, DISCOVERY_WAIT_MS)
	              : WAIT_FAILED;
	discoveryHeld = w == WAIT_OBJECT_0 || w == WAIT_ABANDONED;
	if (titleLock != nullptr)
		WaitForSingleObject(titleLock, INFINITE);
}

void
EndTitleGuard(void)
{
	if (titleLock != nullptr)
		ReleaseMutex(titleLock);
	if (discoveryHeld)
		ReleaseMutex(discoveryMutex);
	discoveryHeld = false;
}

unsigned
GetConsoleTitleA(char *title, unsigned size)
{
	return ::GetConsoleTitleA(title, size);
}

int
SetConsoleTitleA(const char *title)
{
	return ::SetConsoleTitleA(title);
}

unsigned
GetConsoleTitleW(char16_t *title, unsigned size)
{
	GetTitleWProc get = reinterpret_cast<GetTitleWProc>(Entry("kernel32.dll", "GetConsoleTitleW"));
	return get != nullptr ? get(reinterpret_cast<LPWSTR>(title), size) : 0;
}

int
SetConsoleTitleW(const char16_t *title)
{
	SetTitleWProc set = reinterpret_cast<SetTitleWProc>(Entry("kernel32.dll", "SetConsoleTitleW"));
	return set != nullptr ? set(reinterpret_cast<LPCWSTR>(title)) : 0;
}

void
Sleep(unsigned milliseconds)
{
	::Sleep(milliseconds);
}

unsigned
GetConsoleOutputCP(void)
{
	return ::GetConsoleOutputCP();
}

bool
GetConsoleWindow(WindowHandle *window)
{
	ConsoleWindowProc get =
	    reinterpret_cast<ConsoleWindowProc>(Entry("kernel32.dll", CONSOLE_WINDOW_ENTRY));
	*window = get != nullptr ? reinterpret_cast<WindowHandle>(get()) : 0;
	return get != nullptr;
}

WindowHandle
GetAncestor(WindowHandle window, unsigned flags)
{
	AncestorProc get = reinterpret_cast<AncestorProc>(Entry("user32.dll", "GetAncestor"));
	return get != nullptr ? reinterpret_cast<WindowHandle>(get(ToHwnd(window), flags)) : 0;
}

WindowHandle
GetDesktopWindow(void)
{
	return reinterpret_cast<WindowHandle>(::GetDesktopWindow());
}

int
GetClassNameA(WindowHandle window, char *name, int size)
{
	return ::GetClassNameA(ToHwnd(window), name, size);
}

WindowHandle
FindWindowA(const char *className, const char *windowName)
{
	return reinterpret_cast<WindowHandle>(::FindWindowA(className, windowName));
}

WindowHandle
GetForegroundWindow(void)
{
	return reinterpret_cast<WindowHandle>(::GetForegroundWindow());
}

MenuHandle
GetSystemMenu(WindowHandle window, int revert)
{
	return reinterpret_cast<MenuHandle>(::GetSystemMenu(ToHwnd(window), revert));
}

int
DeleteMenu(MenuHandle menu, unsigned position, unsigned flags)
{
	return ::DeleteMenu(reinterpret_cast<HMENU>(menu), position, flags);
}

int
SetWindowPos(WindowHandle window, WindowHandle insertAfter, int x, int y,
             int cx, int cy, unsigned flags)
{
	return ::SetWindowPos(ToHwnd(window), ToHwnd(insertAfter), x, y, cx, cy,
	                      flags);
}

/* The system calls back through these, with its own types and convention. */
struct Enumeration {
	EnumWindowsProc proc;
	intptr_t data;
};

static BOOL CALLBACK
EachWindow(HWND window, LPARAM enumeration)
{
	const Enumeration *e = reinterpret_cast<const Enumeration *>(enumeration);
	return e->proc(reinterpret_cast<WindowHandle>(window), e->data);
}

int
EnumWindows(EnumWindowsProc proc, intptr_t data)
{
	Enumeration e = {proc, data};
	return ::EnumWindows(EachWindow, reinterpret_cast<LPARAM>(&e));
}

uint32_t
GetWindowThreadProcessId(WindowHandle window)
{
	return ::GetWindowThreadProcessId(ToHwnd(window), nullptr);
}

int
IsHungAppWindow(WindowHandle window)
{
	HungProc hung = reinterpret_cast<HungProc>(Entry("user32.dll", "IsHungAppWindow"));
	return hung != nullptr && hung(ToHwnd(window));
}

int
SendNotifyMessageA(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t lParam)
{
	return ::SendNotifyMessageA(ToHwnd(window), message, wParam, lParam);
}

intptr_t
SendMessageTimeoutA(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t lParam,
                    unsigned flags, unsigned milliseconds, uintptr_t *result)
{
	DWORD_PTR answer = 0;
	LRESULT sent = ::SendMessageTimeoutA(ToHwnd(window), message, wParam, lParam, flags,
	                                     milliseconds, &answer);
	*result = answer;
	return sent;
}

unsigned
GetTickCount(void)
{
	return ::GetTickCount();
}

int
GetVersionExA(VersionInfo *info)
{
	return ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA *>(info));
}

unsigned
GetCurrentDirectoryA(unsigned size, char *buffer)
{
	return ::GetCurrentDirectoryA(size, buffer);
}

ModuleHandle
GetModuleHandleA(const char *moduleName)
{
	return reinterpret_cast<ModuleHandle>(::GetModuleHandleA(moduleName));
}

Proc
GetProcAddress(ModuleHandle module, const char *procName)
{
	FARPROC p = ::GetProcAddress(reinterpret_cast<HMODULE>(module), procName);
	return reinterpret_cast<Proc>(p);
}

int
GetDiskFreeSpaceA(const char *root, uint32_t *sectorsPerCluster,
                  uint32_t *bytesPerSector, uint32_t *freeClusters,
                  uint32_t *totalClusters)
{
	DWORD spc = 0, bps = 0, fc = 0, tc = 0;
	BOOL ok = ::GetDiskFreeSpaceA(root, &spc, &bps, &fc, &tc);
	*sectorsPerCluster = spc;
	*bytesPerSector = bps;
	*freeClusters = fc;
	*totalClusters = tc;
	return ok;
}

/*
 * The 9x family's runtime has the entry but not the wide command line
 * behind it, so it is not asked there at all.
 */
char16_t **
GetMainArgsW(int *argc)
{
	OSVERSIONINFOA version;
	version.dwOSVersionInfoSize = sizeof version;
	WideMainArgsProc get =
	    reinterpret_cast<WideMainArgsProc>(Entry("msvcrt.dll", "__wgetmainargs"));
	wchar_t **args = nullptr, **env = nullptr;
	StartupInfo info = {0};
	*argc = 0;
	if (::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
	    get != nullptr)
		get(argc, &args, &env, NO_WILDCARDS, &info);
	return reinterpret_cast<char16_t **>(args);
}

unsigned
MultiByteToWideChar(unsigned codePage, const char *text, char16_t *wide, unsigned size)
{
	return ::MultiByteToWideChar(codePage, 0, text, -1, reinterpret_cast<LPWSTR>(wide),
	                             static_cast<int>(size));
}

unsigned
WideCharToMultiByte(unsigned codePage, unsigned flags, const char16_t *wide, char *text,
                    unsigned size)
{
	return ::WideCharToMultiByte(codePage, flags, reinterpret_cast<LPCWSTR>(wide), -1, text,
	                             static_cast<int>(size), nullptr, nullptr);
}

int
StatPath(const char *path)
{
	struct _stat st;
	return ::_stat(path, &st);
}

/*
 * The runtime's own wide query, so that it means what _stat means. Only its
 * result is read: the record is larger than either layout it may fill.
 */
int
StatPathW(const char16_t *path)
{
	typedef int(__cdecl * StatWProc)(const wchar_t *, void *);
#ifdef _WIN64
	StatWProc stat = reinterpret_cast<StatWProc>(Entry("msvcrt.dll", "_wstat64")); /* as _stat is */
#else
	StatWProc stat = reinterpret_cast<StatWProc>(Entry("msvcrt.dll", "_wstat"));
#endif
	if (stat == nullptr)
		return STAT_UNAVAILABLE;
	union {
		struct _stat64 st;
		char room[256];
	} record;
	return stat(reinterpret_cast<const wchar_t *>(path), &record) == 0 ? 0 : -1;
}

} // namespace plat
