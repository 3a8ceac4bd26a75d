/* Test fake of the platform: scripted results and a log of every call. */
#ifndef OSTRIVEL_FAKE_PLATFORM_H
#define OSTRIVEL_FAKE_PLATFORM_H

#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fake {

struct Disk {
	bool ok = true;
	std::uint64_t freeToCaller = 0, total = 0, totalFree = 0;
	std::uint32_t sectorsPerCluster = 0, bytesPerSector = 0;
	std::uint32_t freeClusters = 0, totalClusters = 0;
};

/*
 * How a console answers title reads that are too small, or too large; see
 * ReadTitle in fake_platform.cpp. Only the title discovery of 95 to NT 4
 * reads the title, so the models are the consoles it runs on: the 9x
 * family's, XP's kind (ReactOS's, and the model for NT 4's) and Wine's, both
 * of which run the test build without GetConsoleWindow. The 8-bit entries
 * of every model see the title through the fake's code page, the first 256
 * code points: any other character reads as "?".
 */
enum class Console { Win9x, WinXP, Wine };
const Console CONSOLES[] = {Console::Win9x, Console::WinXP, Console::Wine};
const char *Name(Console console);

/*
 * What hosts the console, and so which window the system names for it
 * (GetConsoleWindow) and how that window stands:
 *   Classic:     the console's own top-level window, as conhost's, Wine's
 *                and ReactOS's are; the title discovery finds it too.
 *   Terminal:    Windows Terminal: a hidden stand-in of class
 *                PseudoConsoleWindow, owned by the terminal's window, whose
 *                caption may show the title.
 *   Unowned:     the same stand-in, owned by nothing (editors' terminals, ssh).
 *   MessageOnly: Wine's pseudo consoles: a message-only window.
 *   NoWindow:    a console started without a window (CREATE_NO_WINDOW):
 *                the entry gives 0, and no window carries its title.
 *   Stale:       the same on Windows 10 1809, whose entry gives a value
 *                that is no window (microsoft/terminal #1175).
 *   NoEntry:     no GetConsoleWindow (95, 98, ME, NT 4); a classic window.
 * The 9x console model never has the entry.
 */
enum class Host { Classic, Terminal, Unowned, MessageOnly, NoWindow, Stale, NoEntry };
const Host HOSTS[] = {Host::Classic,  Host::Terminal, Host::Unowned, Host::MessageOnly,
                      Host::NoWindow, Host::Stale,    Host::NoEntry};
const char *Name(Host host);
bool IsPseudo(Host host); /* Terminal, Unowned, MessageOnly */
/* Whether GetConsoleWindow exists: not on the 9x console model, nor NoEntry. */
bool HasEntry(void);
const plat::WindowHandle DESKTOP = 0x10014;        /* GetDesktopWindow */
const plat::WindowHandle MESSAGE_PARENT = 0x10016; /* parent of message-only windows */
const plat::WindowHandle STALE = 0xDEAD0;          /* no window */

/*
 * A top-level window, for /r. A thread handles what is sent to its windows
 * one after another, in the order sent, each font change taking answerMs.
 */
struct Window {
	plat::WindowHandle handle = 0;
	int thread = 1;
	unsigned answerMs = 0;
	unsigned endsAfterMs = 0; /* not 0: its program ends this far into the message */
	bool hung = false;        /* handles nothing: the system calls it hung */
	bool refuses = false;     /* UIPI (Vista and later): the send refused, */
	bool drops = false;       /* or "sent" and dropped */
	int received = 0;         /* font changes that reached its queue */
	int handled = 0;          /* of those, handled before its program ended */
};

/* Output code pages the fake converts to; 0 is none (no console). */
const unsigned OEM_US = 437, UTF8 = 65001;

/*
 * The console's title, in UTF-16 as the NT family holds it. Tests may also
 * assign and compare it as 8-bit text in the fake's code page, a byte a unit.
 */
struct Title {
	std::u16string units;

	Title &operator=(const std::string &bytes);
	Title &operator=(const char *bytes) { return *this = std::string(bytes); }
	Title &operator=(const std::u16string &wide);
	bool operator==(const std::string &bytes) const;
	bool operator!=(const std::string &bytes) const { return !(*this == bytes); }
	bool operator==(const std::u16string &wide) const { return units == wide; }
};
void PrintTo(const Title &title, std::ostream *os);
/* UTF-16 as UTF-8, for messages. */
std::string Utf8(const std::u16string &wide);

struct State {
	/* Console: the title is read and written like the chosen console's. */
	Console console = Console::Win9x; /* 8-bit only */
	Title title;
	int guardDepth = 0, guardMaxDepth = 0;
	plat::WindowHandle consoleWindow = 0; /* named by the system, found by the title */
	/*
	 * A classic console's caption is its title, with captionPrefix before it
	 * during a selection (conhost's "Select ", ReactOS's "Selection - "), or
	 * still the old one when it follows the title late (captionLate).
	 * foreignWindow, where not 0, is another top-level window above the
	 * console, captioned foreignCaption.
	 */
	std::string captionPrefix;
	bool captionLate = false;
	plat::WindowHandle foreignWindow = 0;
	std::string foreignCaption;
	Host host = Host::NoEntry; /* as the 9x console above */
	plat::WindowHandle standIn = 0x5100, terminalWindow = 0x7700; /* pseudo consoles */
	plat::WindowHandle foreground = 0;
	plat::MenuHandle systemMenu = 0;

	/*
	 * Top-level windows, in Z-order; the tick count, which the sends with a
	 * time-out advance. hungLate: SMTO_ABORTIFHUNG sees a hung thread only
	 * after 20 s, longer than the fake's have been (ReactOS).
	 */
	std::vector<Window> windows;
	bool hasHungEntry = true; /* IsHungAppWindow: 2000 and later */
	bool hungLate = false;
	unsigned ticks = 0;
	unsigned long long waited = 0; /* in all, by SendMessageTimeoutA */
	struct Pending {
		unsigned due; /* when it is handled, or its program ends */
		std::size_t window;
		bool ends;
	};
	std::vector<Pending> pending; /* sent, not yet handled, in the order sent */
	std::set<int> endedThreads;

	/* Version: which record sizes GetVersionExA accepts, and what it says. */
	bool acceptsEx = true, acceptsBasic = true;
	std::uint32_t major = 0, minor = 0, platformId = 0;
	std::uint8_t productType = 0; /* in the extended record only */
	/* At each call: the size field, and how many other bytes were not 0. */
	std::vector<std::uint32_t> versionSizesSeen;
	std::vector<int> versionDirtyBytesSeen;

	/* Directory and disks. */
	std::string cwd = "C:\\";
	bool cwdFails = false;
	bool hasFreeSpaceEx = true;
	std::map<std::string, Disk> disks; /* root -> figures */

	/*
	 * Files by their 8-bit names, in the fake's code page, and files whose
	 * names that page lacks, which only the wide query finds.
	 */
	std::set<std::string> files;
	std::set<std::u16string> wideFiles;
	bool hasWideStat = true;

	/* The console's output code page: 0, OEM_US or UTF8. */
	unsigned outputCodePage = 0;

	/* The wide command line, where the system keeps one (never on 9x). */
	bool hasWideArgs = false;
	std::vector<std::u16string> wideArgs;
	std::vector<char16_t *> wideArgv; /* what GetMainArgsW hands out */
	int wideArgsAsked = 0;

	std::vector<std::string> calls;
};

extern State state;

void Reset(void);
/* Calls whose log line starts with prefix, in order. */
std::vector<std::string> Calls(const std::string &prefix);

} // namespace fake

#endif
