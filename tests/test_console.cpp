/* Console window discovery, handle reports, title and close button. */
#include "run.h"

#include "console/console.h"

using Calls = std::vector<std::string>;

static const std::string TEMP = "{98C1C303-2A9E-11d4-9FF5-006067718D05}";

TEST_F(Fake, DiscoverySetsTheTemporaryTitleWaitsFindsAndRestores)
{
	fake::state.console = fake::Console::Wine;
	fake::state.title = "C:\\WINDOWS\\system32\\cmd.exe";
	fake::state.consoleWindow = 0x1A2B;

	EXPECT_EQ(FindConsoleHandle(), 0x1A2Bu);
	EXPECT_EQ(fake::state.calls,
	          (Calls{"GetConsoleWindow()", "GetClassNameA(6699)", "GetAncestor(6699,1)",
	                 "GetDesktopWindow()", "BeginTitleGuard()", "GetConsoleTitleW(512)",
	                 "SetConsoleTitleA(" + TEMP + ")", "Sleep(50)",
	                 "FindWindowA((null)," + TEMP + ")",
	                 "SetConsoleTitleW(C:\\WINDOWS\\system32\\cmd.exe)", "EndTitleGuard()"}));
	EXPECT_EQ(fake::state.guardDepth, 0);
	EXPECT_EQ(fake::state.title, "C:\\WINDOWS\\system32\\cmd.exe");
	EXPECT_EQ(std::string(temptitle), TEMP);
}

TEST_F(Fake, DiscoveryTakesTheEightBitPathWhereTheWideEntriesAreStubs)
{
	fake::state.console = fake::Console::Win9x;
	fake::state.title = "C:\\WINDOWS\\COMMAND.COM";
	fake::state.consoleWindow = 0x1A2B;

	EXPECT_EQ(FindConsoleHandle(), 0x1A2Bu);
	EXPECT_EQ(fake::state.calls,
	          (Calls{"GetConsoleWindow()", "BeginTitleGuard()", "GetConsoleTitleW(512)",
	                 "GetConsoleTitleW(24500)",
	                 "GetConsoleTitleW(65537)", "GetConsoleTitleA(512)",
	                 "SetConsoleTitleA(" + TEMP + ")", "Sleep(50)",
	                 "FindWindowA((null)," + TEMP + ")",
	                 "SetConsoleTitleA(C:\\WINDOWS\\COMMAND.COM)", "EndTitleGuard()"}));
	EXPECT_EQ(fake::state.title, "C:\\WINDOWS\\COMMAND.COM");
}

TEST_F(Fake, DiscoveryChangesNothingWhenTheTitleReadsBackEmpty)
{
	for (fake::Console console : fake::CONSOLES) {
		fake::state.console = console;
		fake::state.calls.clear();
		fake::state.title = "";
		fake::state.consoleWindow = 99;
		EXPECT_EQ(FindConsoleHandle(), 0u) << fake::Name(console);
		EXPECT_TRUE(fake::Calls("SetConsoleTitle").empty()) << fake::Name(console);
		EXPECT_TRUE(fake::Calls("FindWindowA").empty()) << fake::Name(console);
		EXPECT_EQ(fake::state.calls.back(), "EndTitleGuard()");
		EXPECT_EQ(fake::state.title, "");
	}
}

TEST_F(Fake, DiscoveryLeavesATitleTooLongToSaveAlone)
{
	fake::state.consoleWindow = 99;
	for (fake::Console console : fake::CONSOLES) {
		fake::state.console = console;
		for (std::size_t len : {65536u, 65537u, 100000u}) {
			fake::state.calls.clear();
			fake::state.title = std::string(len - 3, 'x') + "end";
			EXPECT_EQ(FindConsoleHandle(), 0u) << fake::Name(console) << " " << len;
			EXPECT_EQ(fake::state.title, std::string(len - 3, 'x') + "end");
			EXPECT_TRUE(fake::Calls("SetConsoleTitle").empty()) << fake::Name(console) << len;
			EXPECT_EQ(fake::state.calls.back(), "EndTitleGuard()");
		}
	}
	/* The longest title a console holds is used and put back where it can be read. */
	for (fake::Console console : {fake::Console::Win9x, fake::Console::Win8,
	                              fake::Console::Win10, fake::Console::Wine}) {
		fake::state.console = console;
		fake::state.title = std::string(65534, 'y') + "!";
		EXPECT_EQ(FindConsoleHandle(), 99u) << fake::Name(console);
		EXPECT_EQ(fake::state.title, std::string(65534, 'y') + "!");
	}
}

TEST_F(Fake, DiscoveryPutsBackLongAndUnusualTitlesExactly)
{
	std::string longTitle(65535, 'T');
	longTitle[0] = 'A';
	longTitle.back() = 'Z';
	std::string odd = "  spaces  \"quoted\" \xC4\x8D\xE9\xFF %s %n ";
	for (const std::string &title : {longTitle, odd}) {
		fake::state.title = title;
		fake::state.consoleWindow = 5;
		EXPECT_EQ(FindConsoleHandle(), 5u);
		EXPECT_EQ(fake::state.title, title);
	}
}

TEST_F(Fake, ConsoleReportBareAndLabelled)
{
	fake::state.title = "x";
	fake::state.consoleWindow = 4294967295u;
	EXPECT_EQ(Capture([] { WriteHWNDConsole(0); }), "4294967295");
	EXPECT_EQ(Capture([] { WriteHWNDConsole(1); }), "hwnd console=4294967295\n");
	fake::state.title = "";
	EXPECT_EQ(Capture([] { WriteHWNDConsole(0); }), "0");
	EXPECT_EQ(Capture([] { WriteHWNDConsole(7); }), "hwnd console=0\n");
}

TEST_F(Fake, ForegroundReportBareAndLabelled)
{
	EXPECT_EQ(Capture([] { WriteHWNDForeground(0); }), "0");
	fake::state.foreground = 65538;
	EXPECT_EQ(Capture([] { WriteHWNDForeground(0); }), "65538");
	EXPECT_EQ(Capture([] { WriteHWNDForeground(1); }), "hwnd foreground=65538\n");
	EXPECT_EQ(fake::state.calls.size(), 3u);
}

TEST_F(Fake, EveryReportDiscoversAfresh)
{
	fake::state.title = "one";
	fake::state.consoleWindow = 10;
	EXPECT_EQ(RunOptions({"/c", "/tother", "/c"}), "1010");
	EXPECT_EQ(fake::Calls("GetConsoleTitleA").size(), 2u);
	EXPECT_EQ(fake::Calls("SetConsoleTitleA").back(), "SetConsoleTitleA(other)");
}

TEST_F(Fake, TitleOptionSetsTheRestOfTheArgument)
{
	fake::state.title = "old";
	RunOptions({"/tText with spaces"});
	EXPECT_EQ(fake::state.title, "Text with spaces");
	RunOptions({"-T\"kept\""});
	EXPECT_EQ(fake::state.title, "\"kept\"");
	RunOptions({"/t"});
	EXPECT_EQ(fake::state.title, "");
	EXPECT_EQ(fake::Calls("SetConsoleTitleA").back(), "SetConsoleTitleA()");
}

TEST_F(Fake, EmptyTitleMakesLaterDiscoveriesGiveZero)
{
	fake::state.title = "cmd";
	fake::state.consoleWindow = 42;
	fake::state.systemMenu = 9;
	EXPECT_EQ(RunOptions({"/t", "/c", "/x"}), "0");
	EXPECT_EQ(fake::Calls("FindWindowA").size(), 0u);
	EXPECT_EQ(fake::Calls("GetSystemMenu"), (Calls{"GetSystemMenu(0,0)"}));
	EXPECT_EQ(fake::Calls("DeleteMenu"), (Calls{"DeleteMenu(0,0xF060,0x0)"}));
}

TEST_F(Fake, CloseButtonRemovesCloseByCommandAndRedrawsTheFrame)
{
	fake::state.title = "cmd";
	fake::state.consoleWindow = 42;
	fake::state.systemMenu = 0x3E8;
	EXPECT_EQ(Capture([] { DisableCloseButton(); }), "");
	Calls tail(fake::state.calls.end() - 3, fake::state.calls.end());
	EXPECT_EQ(tail, (Calls{"GetSystemMenu(42,0)", "DeleteMenu(1000,0xF060,0x0)",
	                       "SetWindowPos(42,0,0,0,0,0,0x0027)"}));
	EXPECT_EQ(fake::state.title, "cmd");
}

TEST_F(Fake, CloseButtonWithNoConsoleWindowStillRunsEveryStepSilently)
{
	fake::state.title = "cmd";
	fake::state.systemMenu = 0x3E8;
	EXPECT_EQ(RunOptions({"/x", "/x"}), "");
	EXPECT_EQ(fake::Calls("GetSystemMenu"), (Calls{"GetSystemMenu(0,0)", "GetSystemMenu(0,0)"}));
	EXPECT_EQ(fake::Calls("SetWindowPos").front(), "SetWindowPos(0,0,0,0,0,0,0x0027)");
	EXPECT_EQ(fake::state.title, "cmd");
}

/*
 * On every kind of host, whatever the caption shows: what /c, /i's first
 * line, /x and /t /c give. A classic console's caption is not always its
 * title: a selection puts a prefix before it (conhost's "Select ", "Mark ",
 * "Scroll "; ReactOS's "Selection - ", "Mark - "), conhost sets it late when
 * busy, and another window may carry the temporary title above it. Where the
 * system names the console's window, that window is the answer; where it
 * names none (95 to NT 4), the title's answer stands, faults and all. Under a
 * pseudo console the title would reach the terminal's tab and the terminal's
 * window holds every tab, so no title is shown or set there, nothing is
 * asked by title, and /x touches no menu or window.
 */
TEST_F(Fake, EveryKindOfHostGivesItsWindowWhateverTheCaptionShows)
{
	using fake::Console;
	using fake::Host;
	const plat::WindowHandle OWN = 0x4242, OTHER = 0x6600, TERMINAL = 0x7700;
	const struct {
		Host host;
		Console console;
		const char *prefix; /* before the title in the caption */
		bool late;          /* the caption still shows the old title */
		bool other;         /* another window with the temporary title, above */
		plat::WindowHandle window; /* what /c gives */
	} kinds[] = {
	    {Host::Classic, Console::Win10, "", false, false, OWN},
	    {Host::Classic, Console::Win10, "Select ", false, false, OWN},
	    {Host::Classic, Console::Win10, "Mark ", false, false, OWN},
	    {Host::Classic, Console::Win10, "Scroll ", false, true, OWN},
	    {Host::Classic, Console::Win10, "", true, false, OWN},
	    {Host::Classic, Console::Win10, "", false, true, OWN},
	    {Host::Classic, Console::WinXP, "Selection - ", false, false, OWN}, /* ReactOS */
	    {Host::Classic, Console::WinXP, "Mark - ", false, true, OWN},
	    {Host::Classic, Console::Wine, "", false, true, OWN},
	    {Host::NoEntry, Console::Win9x, "", false, false, OWN},
	    {Host::NoEntry, Console::Win9x, "Select ", false, false, 0},
	    {Host::NoEntry, Console::Win9x, "", true, false, 0},
	    {Host::NoEntry, Console::Win9x, "", false, true, OTHER},
	    {Host::NoEntry, Console::WinXP, "Mark ", false, true, OTHER}, /* NT 4 */
	    {Host::Terminal, Console::Win10, "", false, true, TERMINAL},
	    {Host::Unowned, Console::Win10, "", false, true, 0},
	    {Host::MessageOnly, Console::Wine, "", false, true, 0},
	};
	for (const auto &k : kinds) {
		SCOPED_TRACE(std::string(fake::Name(k.host)) + ", " + fake::Name(k.console) + ", \"" +
		             k.prefix + "\"" + (k.late ? ", late" : "") + (k.other ? ", other" : ""));
		bool pseudo = fake::IsPseudo(k.host);
		fake::Reset();
		fake::state.host = k.host;
		fake::state.console = k.console;
		fake::state.consoleWindow = OWN;
		fake::state.terminalWindow = TERMINAL;
		fake::state.captionPrefix = k.prefix;
		fake::state.captionLate = k.late;
		fake::state.foreignWindow = k.other ? OTHER : 0;
		fake::state.foreignCaption = TEMP;
		fake::state.systemMenu = 0x3E8;
		fake::state.title = "Work";
		std::string n = std::to_string(k.window);

		std::string head = n + "hwnd console=" + n + "\n";
		EXPECT_EQ(RunOptions({"/c", "/i", "/x"}).substr(0, head.size()), head);
		EXPECT_EQ(fake::Calls("GetConsoleWindow").size(), 3u); /* once per discovery */
		EXPECT_EQ(fake::state.title, "Work");
		if (pseudo) {
			for (const char *call : {"BeginTitleGuard", "GetConsoleTitle", "SetConsoleTitle",
			                         "Sleep", "FindWindowA", "GetSystemMenu", "DeleteMenu",
			                         "SetWindowPos"})
				EXPECT_TRUE(fake::Calls(call).empty()) << call;
		} else {
			/* The discovery runs as ever; /x acts on its answer alone. */
			EXPECT_EQ(fake::Calls("SetConsoleTitleA(" + TEMP).size(), 3u);
			EXPECT_EQ(fake::Calls("Sleep(50)").size(), 3u);
			EXPECT_EQ(fake::Calls("GetSystemMenu"), (Calls{"GetSystemMenu(" + n + ",0)"}));
			EXPECT_EQ(fake::Calls("SetWindowPos"),
			          (Calls{"SetWindowPos(" + n + ",0,0,0,0,0,0x0027)"}));
		}

		/* The title plays no part under a pseudo console; emptied, it hides a classic one. */
		fake::state.calls.clear();
		EXPECT_EQ(RunOptions({"/t", "/c", "/x"}), pseudo ? n : "0");
		EXPECT_EQ(fake::state.title, "");
		EXPECT_TRUE(fake::Calls("FindWindowA").empty());
		EXPECT_EQ(fake::Calls("GetSystemMenu"), pseudo ? Calls{} : Calls{"GetSystemMenu(0,0)"});
	}
}
