/*
 * The operating-system operations Ostrivel uses, one implementation per
 * platform: win32.cpp (the real one), posix.cpp (a stand-in for building
 * and running on Unix) and the test fake under tests/.
 *
 * Names and argument orders follow the Win32 entries they stand for; the
 * types are plain integers so that nothing here needs <windows.h>.
 */
#ifndef OSTRIVEL_PLATFORM_H
#define OSTRIVEL_PLATFORM_H

#include <stdint.h>

/* Calling convention of entries fetched with GetProcAddress. */
#if defined(_WIN32) && !defined(_WIN64)
#define PLAT_WINAPI __stdcall
#else
#define PLAT_WINAPI
#endif

namespace plat {

typedef uintptr_t WindowHandle; /* 0 = none */
typedef uintptr_t MenuHandle;   /* 0 = none */
typedef uintptr_t ModuleHandle; /* 0 = none */
typedef void (*Proc)(void);          /* an entry; cast before calling */

/* The entry "GetDiskFreeSpaceExA": free to caller, total, total free. */
typedef int(PLAT_WINAPI *DiskFreeSpaceExProc)(const char *root,
                                              uint64_t *freeToCaller,
                                              uint64_t *total,
                                              uint64_t *totalFree);

/* EnumWindows' callback (WNDENUMPROC): not 0 to go on. */
typedef int (*EnumWindowsProc)(WindowHandle window, intptr_t data);

/* Layout of OSVERSIONINFOEXA; OSVERSIONINFOA is its first 148 bytes. */
struct VersionInfo {
	uint32_t dwOSVersionInfoSize;
	uint32_t dwMajorVersion;
	uint32_t dwMinorVersion;
	uint32_t dwBuildNumber;
	uint32_t dwPlatformId;
	char szCSDVersion[128];
	uint16_t wServicePackMajor;
	uint16_t wServicePackMinor;
	uint16_t wSuiteMask;
	uint8_t wProductType;
	uint8_t wReserved;
};

const uint32_t VERSION_INFO_EX_SIZE = 156;
const uint32_t VERSION_INFO_SIZE = 148;

/* Values of the Win32 constants used (checked against <windows.h>). */
const unsigned CLOSE_COMMAND = 0xF060;       /* SC_CLOSE */
const unsigned BY_COMMAND = 0x0000;          /* MF_BYCOMMAND */
/*
 * SWP_NOSIZE|NOMOVE|NOZORDER|NOACTIVATE|FRAMECHANGED|ASYNCWINDOWPOS: posted,
 * so that a window whose thread does not answer cannot hold the caller, and
 * never activating the window, which would take the keyboard from whatever
 * the user is typing into.
 */
const unsigned FRAME_REFRESH = 0x4037;
const unsigned FONTCHANGE_MESSAGE = 0x001D;  /* WM_FONTCHANGE */
const unsigned NULL_MESSAGE = 0x0000;        /* WM_NULL */
const unsigned ABORT_IF_HUNG = 0x0002;       /* SMTO_ABORTIFHUNG */
const unsigned ANCESTOR_PARENT = 1;          /* GA_PARENT */
const unsigned ANCESTOR_ROOTOWNER = 3;       /* GA_ROOTOWNER */
const unsigned ANSI_CODE_PAGE = 0;           /* CP_ACP */
const unsigned NO_BEST_FIT = 0x0400;         /* WC_NO_BEST_FIT_CHARS */
const uint8_t NT_WORKSTATION = 1;            /* VER_NT_WORKSTATION */

/*
 * Console (kernel32). The wide entries hold the title as the NT family keeps
 * it, UTF-16; where a system lacks them they fail with 0.
 */
unsigned GetConsoleTitleA(char *title, unsigned size);
int SetConsoleTitleA(const char *title);
unsigned GetConsoleTitleW(char16_t *title, unsigned size);
int SetConsoleTitleW(const char16_t *title);
void Sleep(unsigned milliseconds);

/*
 * The code page the console shows the program's output in, which for /f and
 * cmd's redirections read it in too; 0 where there is no console.
 */
unsigned GetConsoleOutputCP(void);

/*
 * Brackets the time the console shows a temporary title (95 to NT 4). Begin
 * waits, for a bounded time, while another copy of the program shows one (so
 * the two cannot find each other's window), and holds back the end of the
 * process (Ctrl+C, Ctrl+Break, close) until End, so the title is back first.
 */
void BeginTitleGuard(void);
void EndTitleGuard(void);

/*
 * The window the system names for the console (2000 and later): its own
 * window in a classic console, a hidden stand-in in a pseudo console, 0 for
 * a console without a window. False where the system lacks the entry (95,
 * 98, ME, NT 4).
 */
bool GetConsoleWindow(WindowHandle *window);

/*
 * Windows and menus (user32). GetAncestor is missing before 98 and 2000: it
 * gives 0 there.
 */
WindowHandle FindWindowA(const char *className, const char *windowName);
WindowHandle GetAncestor(WindowHandle window, unsigned flags);
WindowHandle GetDesktopWindow(void);
int GetClassNameA(WindowHandle window, char *name, int size);
WindowHandle GetForegroundWindow(void);
MenuHandle GetSystemMenu(WindowHandle window, int revert);
int DeleteMenu(MenuHandle menu, unsigned position, unsigned flags);
int SetWindowPos(WindowHandle window, WindowHandle insertAfter, int x, int y,
                 int cx, int cy, unsigned flags);

/*
 * Messages (user32). A window of another thread handles what is sent to it
 * in its own time, in the order it was sent. SendNotifyMessageA returns at
 * once. SendMessageTimeoutA returns not 0 once the window has answered, and
 * 0 when the time-out has passed, at once for a thread the system calls hung
 * (with ABORT_IF_HUNG), and at once when the send fails: no such window (its
 * thread has ended), or the system refuses the send. A thread that ends
 * while it is sent to ends the wait at once: 0 under Wine, not 0 on ReactOS.
 * GetWindowThreadProcessId gives the window's thread, 0 for no window.
 * IsHungAppWindow is missing before 2000: it says no there.
 */
int EnumWindows(EnumWindowsProc proc, intptr_t data);
uint32_t GetWindowThreadProcessId(WindowHandle window);
int IsHungAppWindow(WindowHandle window);
int SendNotifyMessageA(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t lParam);
intptr_t SendMessageTimeoutA(WindowHandle window, unsigned message, uintptr_t wParam,
                             intptr_t lParam, unsigned flags, unsigned milliseconds,
                             uintptr_t *result);

/* System (kernel32). */
unsigned GetTickCount(void);
int GetVersionExA(VersionInfo *info);
unsigned GetCurrentDirectoryA(unsigned size, char *buffer);
ModuleHandle GetModuleHandleA(const char *moduleName);
Proc GetProcAddress(ModuleHandle module, const char *procName);
int GetDiskFreeSpaceA(const char *root, uint32_t *sectorsPerCluster,
                      uint32_t *bytesPerSector,
                      uint32_t *freeClusters,
                      uint32_t *totalClusters);

/*
 * The command line as the NT family keeps it, in UTF-16, split like the
 * 8-bit vector main gets (msvcrt's __wgetmainargs; neither expands
 * wildcards): the count through argc, or nullptr where the system has no
 * wide start-up (the 9x family, a runtime without it).
 */
char16_t **GetMainArgsW(int *argc);

/*
 * Text conversions through a code page (ANSI_CODE_PAGE is the one main's
 * arguments are in): the units or bytes written, NUL included; 0 when the
 * output does not fit, the page is unknown, the flags (WideCharToMultiByte's)
 * are refused or the conversion fails. A character the page lacks becomes
 * the page's default character, or with best fit a look-alike.
 */
unsigned MultiByteToWideChar(unsigned codePage, const char *text, char16_t *wide, unsigned size);
unsigned WideCharToMultiByte(unsigned codePage, unsigned flags, const char16_t *wide, char *text,
                             unsigned size);

/*
 * C runtime: the file-status query; 0 when the path can be queried. The
 * wide one gives STAT_UNAVAILABLE where the runtime lacks it.
 */
int StatPath(const char *path);
int StatPathW(const char16_t *path);
const int STAT_UNAVAILABLE = -2;

} // namespace plat

#endif
