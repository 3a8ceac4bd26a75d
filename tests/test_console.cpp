/* Console window discovery, handle reports, title and close button. */
#include "run.h"

#include "console/console.h"

using Calls = std::vector<std::string>;

static const std::string TEMP = "{98C1C303-2A9E-11d4-9FF5-006067718D05}";

/* 95 to NT 4: save, temporary title, 50 ms, the window by it, title back. */
TEST_F(Fake, DiscoveryByTitleSavesShowsFindsAndRestores)
{
	const std::string find = "FindWindowA((null)," + TEMP + ")";
	fake::state.console = fake::Console::WinXP; /* NT 4: the wide entries */
	fake::state.title = "C:\\WINNT\\system32\\cmd.exe";
	fake::state.consoleWindow = 0x1A2B;
	EXPECT_EQ(FindConsoleHandle(), 0x1A2Bu);
	EXPECT_EQ(fake::state.calls,
	          (Calls{"GetConsoleWindow()", "BeginTitleGuard()", "GetConsoleTitleW(512)",
	                 "SetConsoleTitleA(" + TEMP + ")", "Sleep(50)", find,
	                 "SetConsoleTitleW(C:\\WINNT\\system32\\cmd.exe)", "EndTitleGuard()"}));
	EXPECT_EQ(fake::state.title, "C:\\WINNT\\system32\\cmd.exe");
	EXPECT_EQ(std::string(temptitle), TEMP);

	/* The 9x family's wide entries are stubs: the 8-bit ones save and restore. */
	fake::Reset();
	fake::state.title = "C:\\WINDOWS\\COMMAND.COM";
	fake::state.consoleWindow = 0x1A2B;
	EXPECT_EQ(FindConsoleHandle(), 0x1A2Bu);
	EXPECT_EQ(fake::state.calls,
	          (Calls{"GetConsoleWindow()", "BeginTitleGuard()", "GetConsoleTitleW(512)",
	                 "GetConsoleTitleW(24500)", "GetConsoleTitleW(65537)",
	                 "GetConsoleTitleA(512)", "SetConsoleTitleA(" + TEMP + ")", "Sleep(50)", find,
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

TEST_F(Fake, CloseButtonRemovesCloseByCommandAndRedrawsTheFrame)
{
	fake::state.title = "cmd";
	fake::state.consoleWindow = 42;
	fake::state.systemMenu = 0x3E8;
	EXPECT_EQ(Capture([] { DisableCloseButton(); }), "");
	Calls tail(fake::state.calls.end() - 3, fake::state.calls.end());
	EXPECT_EQ(tail, (Calls{"GetSystemMenu(42,0)", "DeleteMenu(1000,0xF060,0x0)",
	                       "SetWindowPos(42,0,0,0,0,0,0x4037)"}));
	EXPECT_EQ(fake::state.title, "cmd");
}

TEST_F(Fake, CloseButtonWithNoConsoleWindowStillRunsEveryStepSilently)
{
	fake::state.title = "cmd";
	fake::state.systemMenu = 0x3E8;
	EXPECT_EQ(RunOptions({"/x", "/x"}), "");
	EXPECT_EQ(fake::Calls("GetSystemMenu"), (Calls{"GetSystemMenu(0,0)", "GetSystemMenu(0,0)"}));
	EXPECT_EQ(fake::Calls("SetWindowPos").front(), "SetWindowPos(0,0,0,0,0,0,0x4037)");
	EXPECT_EQ(fake::state.title, "cmd");
}

/*
 * On every kind of host, whatever the title and caption show: what /c, /i's
 * first line, /x and /t /c give. Where the system names the console's window
 * (2000 and later) that is the answer, the title is never touched, and
 * nothing is asked by title: not even where it names no window, as a console
 * started without one has. Under a pseudo console the terminal's window
 * holds every tab, so /x touches no menu or window there. Where the system
 * cannot name the window (95 to NT 4) the title's answer stands, with the
 * limits of those systems: a selection's prefix before the title in the
 * caption ("Select ", "Mark "), a caption that follows the title late, and
 * another window carrying the temporary title above the console.
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
	    {Host::Classic, Console::Wine, "", false, false, OWN},
	    {Host::Classic, Console::WinXP, "Select ", true, true, OWN},
	    {Host::NoEntry, Console::Win9x, "", false, false, OWN},
	    {Host::NoEntry, Console::Win9x, "Select ", false, false, 0},
	    {Host::NoEntry, Console::Win9x, "", true, false, 0},
	    {Host::NoEntry, Console::Win9x, "", false, true, OTHER},
	    {Host::NoEntry, Console::WinXP, "Mark ", false, true, OTHER}, /* NT 4 */
	    {Host::Terminal, Console::Wine, "", false, true, TERMINAL},
	    {Host::Unowned, Console::Wine, "", false, true, 0},
	    {Host::MessageOnly, Console::Wine, "", false, true, 0},
	    {Host::NoWindow, Console::Wine, "", false, true, 0},
	    {Host::Stale, Console::WinXP, "", false, true, 0},
	};
	for (const auto &k : kinds) {
		SCOPED_TRACE(std::string(fake::Name(k.host)) + ", " + fake::Name(k.console) + ", \"" +
		             k.prefix + "\"" + (k.late ? ", late" : "") + (k.other ? ", other" : ""));
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
		bool pseudo = fake::IsPseudo(k.host), entry = fake::HasEntry();
		std::string n = std::to_string(k.window);

		std::string head = n + "hwnd console=" + n + "\n";
		EXPECT_EQ(RunOptions({"/c", "/i", "/x"}).substr(0, head.size()), head);
		EXPECT_EQ(fake::Calls("GetConsoleWindow").size(), 3u); /* once per discovery */
		EXPECT_EQ(fake::state.title, "Work");
		EXPECT_EQ(fake::Calls("SetConsoleTitleA(" + TEMP).size(), entry ? 0u : 3u);
		if (entry) {
			for (const char *call : {"BeginTitleGuard", "GetConsoleTitle", "SetConsoleTitle",
			                         "Sleep", "FindWindowA"})
				EXPECT_TRUE(fake::Calls(call).empty()) << call;
		}
		/* /x acts on the answer alone, or on nothing under a terminal. */
		std::string menu = "GetSystemMenu(" + n + ",0)";
		std::string frame = "SetWindowPos(" + n + ",0,0,0,0,0,0x4037)";
		EXPECT_EQ(fake::Calls("GetSystemMenu"), pseudo ? Calls{} : Calls{menu});
		EXPECT_EQ(fake::Calls("SetWindowPos"), pseudo ? Calls{} : Calls{frame});

		/* Emptied, the title hides the window from the title discovery only. */
		fake::state.calls.clear();
		std::string shown = entry ? n : "0";
		EXPECT_EQ(RunOptions({"/t", "/c", "/x"}), shown);
		EXPECT_EQ(fake::state.title, "");
		EXPECT_TRUE(fake::Calls("FindWindowA").empty());
		EXPECT_EQ(fake::Calls("GetSystemMenu"),
		          pseudo ? Calls{} : Calls{"GetSystemMenu(" + shown + ",0)"});
		/* So does one too long to save. */
		fake::state.title = std::string(70000, 'w');
		EXPECT_EQ(RunOptions({"/c"}), shown);
	}
}
