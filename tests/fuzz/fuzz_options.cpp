/*
 * Fuzz target: arbitrary argument vectors through HandleOptions, over the
 * platform fake in a state the input also chooses: among it the console
 * model and its title (8-bit or beyond any code page, of lengths around the
 * read sizes), what hosts the console, what its caption shows, whether
 * another window carries the temporary title, the output code page, and
 * whether the command line is also there as typed. Beyond the sanitizers it
 * checks what a user relies on: the console title ends as the last /t set it
 * (or as it was), every title guard taken is given back, where the system
 * has GetConsoleWindow nothing is asked by title and no temporary title is
 * shown, a terminal's menu is never touched, and where the system names the
 * console's window no other window's menu is touched.
 *
 * Input: 4 bytes of platform state, then the arguments separated by NULs.
 * Values far longer than a fuzzing input are covered by the unit tests.
 */
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/ostrivel.h"
#include "fake_platform.h"

static const char *const DIRECTORIES[] = {"C:\\", "c:\\x", "D:\\games", "\\\\srv\\share", ""};
/* Around the sizes consoles read titles with, and the longest they keep. */
static const std::size_t TITLE_LENGTHS[] = {12, 255, 511, 512, 12250, 24499, 65535, 65536};
static const char *const PREFIXES[] = {"", "Select ", "Selection - "};
static const unsigned PAGES[] = {0, fake::OEM_US, fake::UTF8};
static const plat::WindowHandle OTHER = 0x6600;

extern "C" int
LLVMFuzzerInitialize(int *, char ***)
{
	/* The output is checked by the unit tests; here it would only slow. */
	if (std::freopen("/dev/null", "w", stdout) == nullptr)
		std::abort();
	return 0;
}

static void
Configure(const std::uint8_t *b)
{
	fake::Reset();
	fake::state.console = fake::CONSOLES[b[2] / 8 % 3];
	/* The 9x family holds 8-bit titles only. */
	std::u16string pattern = fake::state.console == fake::Console::Win9x
	                             ? u"user title \u00e9 "
	                             : u"user \u263a \u65e5\u672c \U0001F600 ";
	std::u16string title;
	std::size_t len = (b[0] & 1) ? 0 : (b[0] & 4) ? TITLE_LENGTHS[b[3] % 8] : pattern.size();
	while (title.size() < len)
		title += pattern;
	title.resize(len);
	fake::state.title = title;
	fake::state.consoleWindow = (b[0] & 2) ? 0x10010 : 0;
	fake::state.hasFreeSpaceEx = (b[0] & 8) != 0;
	fake::state.acceptsEx = (b[0] & 16) != 0;
	fake::state.acceptsBasic = (b[0] & 32) != 0;
	fake::state.cwdFails = (b[0] & 64) != 0;
	fake::state.foreground = (b[0] & 128) ? 0xFFFFFFFFu : 0;
	fake::state.platformId = b[1] % 4;
	fake::state.major = b[2] % 8;
	fake::state.minor = b[3];
	fake::state.cwd = DIRECTORIES[b[1] / 4 % 5];
	fake::state.disks["C:\\"].freeToCaller = 0x123456789ull * b[2];
	fake::state.disks["C:\\"].freeClusters = b[3] * 1000u;
	fake::state.disks["C:\\"].sectorsPerCluster = 8;
	fake::state.disks["C:\\"].bytesPerSector = 512;
	fake::state.files.insert("font.ttf");
	fake::state.hasWideArgs = (b[1] & 0x80) != 0;
	fake::state.host = fake::HOSTS[b[3] / 32 % 7];
	fake::state.captionPrefix = PREFIXES[b[2] / 48 % 3];
	fake::state.captionLate = (b[1] & 0x20) != 0;
	fake::state.foreignWindow = (b[1] & 0x40) ? OTHER : 0;
	fake::state.foreignCaption = "{98C1C303-2A9E-11d4-9FF5-006067718D05}";
	fake::state.outputCodePage = PAGES[b[3] / 2 % 3];
}

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
	if (size < 4)
		return 0;
	Configure(data);
	data += 4;
	size -= 4;

	std::vector<std::string> args{"ostrivel"};
	std::string current;
	for (std::size_t i = 0; i < size; i++) {
		if (data[i] == '\0') {
			args.push_back(current);
			current.clear();
		} else {
			current.push_back(static_cast<char>(data[i]));
		}
	}
	args.push_back(current);
	/* Each discovery copies a long title up to three times: keep runs quick. */
	if (fake::state.title.units.size() > 512 && args.size() > 5)
		args.resize(5);
	/* The command line as typed, where there is one: the same, widened. */
	for (const std::string &a : args)
		fake::state.wideArgs.emplace_back(reinterpret_cast<const unsigned char *>(a.data()),
		                                  reinterpret_cast<const unsigned char *>(a.data()) +
		                                      a.size());

	/* What the title must end as: the last /t value, else untouched. */
	fake::Title title = fake::state.title;
	for (std::size_t i = 1; i < args.size(); i++) {
		const std::string &a = args[i];
		if (a.size() >= 2 && (a[0] == '/' || a[0] == '-') && (a[1] == 't' || a[1] == 'T'))
			title = a.substr(2);
	}

	std::vector<char *> argv;
	for (std::string &a : args)
		argv.push_back(&a[0]);
	argv.push_back(nullptr);
	HandleOptions(static_cast<int>(args.size()), argv.data());
	std::fflush(stdout);

	if (!(fake::state.title == title.units) || fake::state.guardDepth != 0 ||
	    fake::state.guardMaxDepth > 1)
		std::abort();
	/* Where the system can name the window, the title plays no part. */
	bool entry = fake::HasEntry();
	if (entry && !(fake::Calls("FindWindowA").empty() && fake::Calls("Sleep").empty() &&
	               fake::state.guardMaxDepth == 0))
		std::abort();
	/* A terminal's menu is never touched. */
	if (entry && fake::IsPseudo(fake::state.host) && !fake::Calls("GetSystemMenu").empty())
		std::abort();
	/* The system names a classic console's own window: /x acts on it or on none. */
	bool named = entry && fake::state.host == fake::Host::Classic && fake::state.consoleWindow != 0;
	for (const std::string &call : fake::Calls("GetSystemMenu("))
		if (named && call != "GetSystemMenu(0,0)" &&
		    call != "GetSystemMenu(" + std::to_string(fake::state.consoleWindow) + ",0)")
			std::abort();
	return 0;
}
