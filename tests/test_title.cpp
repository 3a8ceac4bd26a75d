/* Setting the title: the rest of the argument, as the user typed it. */
#include "run.h"

using fake::Console;
using Calls = std::vector<std::string>;

class Title : public FakeTest {};

TEST_F(Title, SetsTheRestOfTheArgument)
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

/* Latin-1, Latin Extended, Cyrillic, CJK and a character beyond the BMP. */
static const std::u16string TYPED = u"caf\u00e9 \u0141\u00f3d\u017a \u0159 "
                                    u"\u0421\u0431\u043e\u0440\u043a\u0430 \u65e5\u672c "
                                    u"\U0001F600";
/* What main gets for it through the fake's ANSI page. */
static const std::string ANSI = "caf\xe9 ?\xf3" "d? ? ?????? ?? ?";

TEST_F(Title, IsSetAsTypedOnEveryConsole)
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

TEST_F(Title, WithoutAMatchingWideCommandLineIsWidenedFromTheAnsiPage)
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

TEST_F(Title, EmptyValueEmptiesTheTitle)
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
