/* Finding the console's window: by the system's name for it, or by the temporary title. */
#include "run.h"

#include "console/console.h"

using Calls = std::vector<std::string>;
using fake::Console;

class Discovery : public FakeTest {};

static const std::string TEMP = "{98C1C303-2A9E-11d4-9FF5-006067718D05}";

/*
 * The calls made, a title read's size left out (no promise names it) and
 * reads one after another counted once.
 */
static Calls
Shape(void)
{
	Calls out;
	for (std::string c : fake::state.calls) {
		if (c.rfind("GetConsoleTitle", 0) == 0)
			c = c.substr(0, c.find('('));
		if (out.empty() || out.back() != c)
			out.push_back(c);
	}
	return out;
}

/* 95 to NT 4: save, temporary title, 50 ms, the window by it, title back. */
TEST_F(Discovery, ByTitleSavesShowsFindsAndRestores)
{
	const std::string find = "FindWindowA((null)," + TEMP + ")";
	fake::state.console = Console::WinXP; /* NT 4: the wide entries */
	fake::state.title = "C:\\WINNT\\system32\\cmd.exe";
	fake::state.consoleWindow = 0x1A2B;
	EXPECT_EQ(FindConsoleHandle(), 0x1A2Bu);
	EXPECT_EQ(Shape(), (Calls{"GetConsoleWindow()", "BeginTitleGuard()", "GetConsoleTitleW",
	                          "SetConsoleTitleA(" + TEMP + ")", "Sleep(50)", find,
	                          "SetConsoleTitleW(C:\\WINNT\\system32\\cmd.exe)", "EndTitleGuard()"}));
	EXPECT_EQ(fake::state.title, "C:\\WINNT\\system32\\cmd.exe");
	EXPECT_EQ(std::string(temptitle), TEMP);

	/* The 9x family's wide entries are stubs: the 8-bit ones save and restore. */
	fake::Reset();
	fake::state.title = "C:\\WINDOWS\\COMMAND.COM";
	fake::state.consoleWindow = 0x1A2B;
	EXPECT_EQ(FindConsoleHandle(), 0x1A2Bu);
	EXPECT_EQ(Shape(), (Calls{"GetConsoleWindow()", "BeginTitleGuard()", "GetConsoleTitleW",
	                          "GetConsoleTitleA", "SetConsoleTitleA(" + TEMP + ")", "Sleep(50)",
	                          find, "SetConsoleTitleA(C:\\WINDOWS\\COMMAND.COM)",
	                          "EndTitleGuard()"}));
	EXPECT_EQ(fake::state.title, "C:\\WINDOWS\\COMMAND.COM");
}

TEST_F(Discovery, ChangesNothingWhenTheTitleReadsBackEmpty)
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

TEST_F(Discovery, LeavesATitleTooLongToSaveAlone)
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

TEST_F(Discovery, ConsoleReportBareAndLabelled)
{
	fake::state.title = "x";
	fake::state.consoleWindow = 4294967295u;
	EXPECT_EQ(Capture([] { WriteHWNDConsole(0); }), "4294967295");
	EXPECT_EQ(Capture([] { WriteHWNDConsole(1); }), "hwnd console=4294967295\n");
	fake::state.title = "";
	EXPECT_EQ(Capture([] { WriteHWNDConsole(0); }), "0");
	EXPECT_EQ(Capture([] { WriteHWNDConsole(7); }), "hwnd console=0\n");
}

TEST_F(Discovery, ForegroundReportBareAndLabelled)
{
	EXPECT_EQ(Capture([] { WriteHWNDForeground(0); }), "0");
	fake::state.foreground = 65538;
	EXPECT_EQ(Capture([] { WriteHWNDForeground(0); }), "65538");
	EXPECT_EQ(Capture([] { WriteHWNDForeground(1); }), "hwnd foreground=65538\n");
	EXPECT_EQ(fake::state.calls.size(), 3u);
}

TEST_F(Discovery, EveryReportDiscoversAfresh)
{
	fake::state.title = "one";
	fake::state.consoleWindow = 10;
	EXPECT_EQ(RunOptions({"/c", "/tother", "/c"}), "1010");
	EXPECT_EQ(fake::Calls("FindWindowA").size(), 2u);
	EXPECT_EQ(fake::Calls("SetConsoleTitleA").back(), "SetConsoleTitleA(other)");
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
TEST_F(Discovery, EveryKindOfHostGivesItsWindowWhateverTheCaptionShows)
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

/* Set with the wide entry where there is one: outside any 8-bit code page. */
static const std::u16string UNICODE_TITLE = u"Build \u20ac \u263a \u0416\u0438\u0437 "
                                            u"\u65e5\u672c caf\u00e9 \U0001F600";
static const std::u16string LATIN_TITLE = u"C:\\Program Files\\Caf\u00e9 \u00ff";

static const std::size_t LENGTHS[] = {1,   2,   255,   256,   257,   510,   511,   512,
                                      513, 24000, 24498, 24499, 24500, 24501, 65534, 65535};

/* The longest title each console lets the discovery read whole. */
static std::size_t
Longest(Console console)
{
	/* XP's kind: 24 500 units, less the NUL, less one so it cannot be cut. */
	return console == Console::WinXP ? 24498 : 65535;
}

/* A title of len units, from pattern, with distinct ends to catch cuts. */
static std::u16string
TitleOf(const std::u16string &pattern, std::size_t len)
{
	std::u16string t;
	while (t.size() < len)
		t += pattern;
	t.resize(len);
	t.back() = u'!';
	return t;
}

TEST_F(Discovery, EveryConsoleKeepsEveryTitleAndFindsItsWindowWhereItCanReadIt)
{
	fake::state.consoleWindow = 0x5A5A;
	for (Console console : fake::CONSOLES) {
		fake::state.console = console;
		/* The 9x family has 8-bit titles only. */
		const std::u16string &pattern =
		    console == Console::Win9x ? LATIN_TITLE : UNICODE_TITLE;
		for (std::size_t len : LENGTHS) {
			std::u16string title = TitleOf(pattern, len);
			fake::state.title = title;
			fake::state.calls.clear();
			bool readable = len <= Longest(console);
			std::string where = std::string(fake::Name(console)) + ", " +
			                    std::to_string(len) + " units";

			EXPECT_EQ(FindConsoleHandle(), readable ? 0x5A5Au : 0u) << where;
			EXPECT_EQ(fake::state.title.units, title) << where;
			EXPECT_EQ(fake::Calls("SetConsoleTitle").size(), readable ? 2u : 0u) << where;
			if (console != Console::Win9x) {
				EXPECT_TRUE(fake::Calls("GetConsoleTitleA").empty()) << where;
			}
		}
	}
}

/* The fake's models themselves, against what each system was measured to do. */
TEST_F(Discovery, ConsoleModelsAnswerAsTheirSystemsDo)
{
	struct Read {
		Console console;
		bool wide;
		std::size_t len;
		unsigned size;
		unsigned returned;
		std::size_t copied; /* units before the NUL, or npos for none written */
	};
	const std::size_t NONE = std::string::npos;
	const Read reads[] = {
	    {Console::Win9x, true, 10, 512, 0, NONE},       {Console::Win9x, false, 600, 512, 511, 511},
	    {Console::WinXP, true, 600, 512, 511, 511},     {Console::WinXP, true, 0, 512, 0, NONE},
	    {Console::WinXP, true, 10, 24501, 0, NONE},     {Console::WinXP, false, 10, 24500, 10, 10},
	    {Console::Wine, true, 70000, 65537, 70000, 65536}, {Console::Wine, false, 0, 512, 0, 0},
	};
	for (const Read &r : reads) {
		fake::state.console = r.console;
		fake::state.title = std::string(r.len, 'q');
		std::string where = std::string(fake::Name(r.console)) + (r.wide ? " W " : " A ") +
		                    std::to_string(r.len) + " in " + std::to_string(r.size);
		static char16_t wide[70000];
		static char narrow[70000];
		std::fill(std::begin(wide), std::end(wide), u'#');
		std::fill(std::begin(narrow), std::end(narrow), '#');
		unsigned n = r.wide ? plat::GetConsoleTitleW(wide, r.size)
		                    : plat::GetConsoleTitleA(narrow, r.size);
		EXPECT_EQ(n, r.returned) << where;
		std::size_t copied = NONE;
		for (std::size_t i = 0; i < r.size && copied == NONE; i++)
			if (r.wide ? wide[i] == 0 : narrow[i] == 0)
				copied = i;
		EXPECT_EQ(copied, r.copied) << where;
	}
	/* The 8-bit entries see the title through a code page that lacks most characters. */
	fake::state.console = Console::WinXP;
	fake::state.title = u"\u017dlu\u0165ou\u010dk\u00fd k\u016f\u0148";
	char narrow[64];
	EXPECT_EQ(plat::GetConsoleTitleA(narrow, sizeof narrow), 13u);
	EXPECT_STREQ(narrow, "?lu?ou?k\xfd k??");
	/* And the 9x family's wide entries do nothing. */
	fake::state.console = Console::Win9x;
	EXPECT_EQ(plat::SetConsoleTitleW(u"x"), 0);
	EXPECT_EQ(fake::state.title.units, u"\u017dlu\u0165ou\u010dk\u00fd k\u016f\u0148");
}
