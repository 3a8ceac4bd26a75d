/* Option values as the user typed them: /t and /r through the wide command line. */
#include "run.h"

using fake::Console;
using Calls = std::vector<std::string>;

/* Latin-1, Latin Extended, Cyrillic, CJK and a character beyond the BMP. */
static const std::u16string TYPED = u"caf\u00e9 \u0141\u00f3d\u017a \u0159 "
                                    u"\u0421\u0431\u043e\u0440\u043a\u0430 \u65e5\u672c "
                                    u"\U0001F600";
/* What main gets for it through the fake's ANSI page. */
static const std::string ANSI = "caf\xe9 ?\xf3" "d? ? ?????? ?? ?";

/* main gets ansi; the wide command line, where typed is not empty, has typed. */
static std::string
RunTyped(const std::vector<std::string> &ansi, const std::vector<std::u16string> &typed)
{
	fake::state.hasWideArgs = !typed.empty();
	fake::state.wideArgs = {u"ostrivel"};
	fake::state.wideArgs.insert(fake::state.wideArgs.end(), typed.begin(), typed.end());
	return RunOptions(ansi);
}

TEST_F(Fake, TitleIsSetAsTypedOnEveryConsole)
{
	for (Console console : fake::CONSOLES) {
		SCOPED_TRACE(fake::Name(console));
		fake::Reset();
		fake::state.console = console;
		EXPECT_EQ(RunTyped({"/t", "/t" + ANSI, "two"}, {u"/t", u"/t" + TYPED, u"two"}), "");
		/* Compared once per walk, however many values: never quadratic. */
		EXPECT_EQ(fake::state.wideArgsAsked, 1);
		if (console == Console::Win9x) {
			/* 8-bit titles only: the value as main has it. */
			EXPECT_EQ(fake::state.title, ANSI);
			EXPECT_EQ(fake::Calls("SetConsoleTitleA").back(), "SetConsoleTitleA(" + ANSI + ")");
		} else {
			EXPECT_EQ(fake::state.title, TYPED);
			EXPECT_TRUE(fake::Calls("SetConsoleTitleA").empty());
		}
	}
}

TEST_F(Fake, TitleWithoutAMatchingWideCommandLineIsWidenedFromTheAnsiPage)
{
	/* None at all; one argument more; one argument that says something else. */
	const std::vector<std::vector<std::u16string>> vectors = {
	    {}, {u"/t" + TYPED, u"two", u"extra"}, {u"/t" + TYPED, u"tw\u00f6"}};
	for (std::size_t v = 0; v < vectors.size(); v++) {
		SCOPED_TRACE(v);
		fake::Reset();
		fake::state.console = Console::WinXP;
		RunTyped({"/t" + ANSI, "two"}, vectors[v]);
		/* Never handed to the 8-bit entry, which reads the console's OEM page. */
		EXPECT_TRUE(fake::Calls("SetConsoleTitleA").empty());
		EXPECT_EQ(fake::Calls("SetConsoleTitleW").front(),
		          "SetConsoleTitleW(caf\xc3\xa9 ?\xc3\xb3" "d? ? ?????? ?? ?)");
		EXPECT_EQ(fake::state.title, ANSI);
	}
}

TEST_F(Fake, EmptyTitleValueEmptiesTheTitle)
{
	for (Console console : {Console::Win9x, Console::WinXP}) {
		SCOPED_TRACE(fake::Name(console));
		fake::Reset();
		fake::state.console = console;
		fake::state.title = u"old \u263a";
		RunTyped({"/t"}, {u"/t"});
		EXPECT_EQ(fake::state.title, "");
	}
}

TEST_F(Fake, FontIsLookedUpByThePathAsTyped)
{
	const std::u16string typed =
	    u"C:\\Users\\\u0141ukasz\\Fonts\\\u0141\u00f3d\u017a \u65e5\u672c.ttf";
	const std::string ansi = "C:\\Users\\?ukasz\\Fonts\\?\xf3" "d? ??.ttf";
	const std::string lines = "Adding font " + ansi + " ... Jmeno fontu " + ansi + "\nExistuje ? ";
	const std::string done = "\nOK\nRefreshing fonts ... OK\n";

	fake::state.console = Console::WinXP;
	fake::state.wideFiles.insert(typed);
	EXPECT_EQ(RunTyped({"/r" + ansi}, {u"/r" + typed}), lines + "1" + done);
	EXPECT_EQ(RunTyped({"/r" + ansi + "x"}, {u"/r" + typed + u"x"}),
	          "Adding font " + ansi + "x ... Jmeno fontu " + ansi + "x\nExistuje ? 0" + done);
	EXPECT_TRUE(fake::Calls("StatPath(").empty());

	/* Where the runtime has no wide query, and where there is no wide form. */
	fake::state.hasWideStat = false;
	EXPECT_EQ(RunTyped({"/r" + ansi}, {u"/r" + typed}), lines + "0" + done);
	EXPECT_EQ(fake::Calls("StatPath(").size(), 1u);
	fake::state.hasWideStat = true;
	fake::state.console = Console::Win9x;
	EXPECT_EQ(RunTyped({"/r" + ansi}, {u"/r" + typed}), lines + "0" + done);
	EXPECT_EQ(fake::Calls("StatPath(").size(), 2u);
}

/*
 * Echoed values in the console's output code page, which the console, for /f
 * and redirections read them in: from the value as typed, else (9x) from
 * main's ANSI bytes widened; those bytes as they are where there is no
 * console or the page is unknown. UTF-8 and the 9x family refuse the flag
 * that keeps look-alikes out, and convert without it.
 */
TEST_F(Fake, EchoesAreInTheConsolesOutputCodePage)
{
	const std::u16string typed = u"C:\\nothere\\caf\u00e9 \u0141\u00f3d\u017a.ttf";
	const std::string ansi = "C:\\nothere\\caf\xe9 ?\xf3" "d?.ttf";
	const struct {
		Console console;
		unsigned page;
		std::string path, option;
	} rows[] = {
	    {Console::WinXP, 0, ansi, "/\xe9"},
	    {Console::WinXP, 932, ansi, "/\xe9"},
	    {Console::WinXP, fake::OEM_US, "C:\\nothere\\caf\x82 ?\xa2" "d?.ttf", "/\x82"},
	    {Console::WinXP, fake::UTF8, "C:\\nothere\\caf\xc3\xa9 \xc5\x81\xc3\xb3" "d\xc5\xba.ttf",
	     "/\xc3\xa9"},
	    {Console::Win9x, fake::OEM_US, "C:\\nothere\\caf\x82 ?\xa2" "d?.ttf", "/\x82"},
	    {Console::Win9x, fake::UTF8, "C:\\nothere\\caf\xc3\xa9 ?\xc3\xb3" "d?.ttf", "/\xc3\xa9"},
	};
	for (const auto &r : rows) {
		SCOPED_TRACE(std::string(fake::Name(r.console)) + ", page " + std::to_string(r.page));
		fake::Reset();
		fake::state.console = r.console;
		fake::state.outputCodePage = r.page;
		EXPECT_EQ(RunTyped({"/r" + ansi, "/\xe9", "/q"}, {u"/r" + typed, u"/\u00e9", u"/q"}),
		          "Adding font " + r.path + " ... Jmeno fontu " + r.path +
		              "\nExistuje ? 0\nOK\nRefreshing fonts ... OK\nunknown option " + r.option +
		              "\nunknown option /q\n");
	}
}
