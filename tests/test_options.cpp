/* The command line: usage text, unknown options and the option walk. */
#include "run.h"

#include <fstream>
#include <iterator>

using fake::Console;

/* The usage text, from the one file every test of it reads. */
static const std::string USAGE = [] {
	std::ifstream f(USAGE_FILE, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}();

class Options : public FakeTest {
protected:
	void SetUp() override
	{
		FakeTest::SetUp();
		fake::state.title = "cmd";
		fake::state.consoleWindow = 1234;
		fake::state.foreground = 777;
	}
};

TEST_F(Options, NoArgumentsPrintsUsageAndExitsZero)
{
	int status = -1;
	testing::internal::CaptureStderr();
	EXPECT_EQ(RunMain({}, &status), USAGE);
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
	EXPECT_EQ(status, 0);
	EXPECT_TRUE(fake::state.calls.empty());
}

TEST_F(Options, ExitStatusIsZeroWhateverTheOptions)
{
	int status = -1;
	RunMain({"/q", "/c", "word", "/"}, &status);
	EXPECT_EQ(status, 0);
}

TEST_F(Options, QuestionMarkPrintsUsageAndTheWalkGoesOn)
{
	EXPECT_EQ(RunOptions({"/?"}), USAGE);
	EXPECT_EQ(RunOptions({"-?", "/c"}), USAGE + "1234");
	EXPECT_EQ(RunOptions({"/f", "/?", "/f"}), std::string("777") + USAGE + "777");
}

TEST_F(Options, UnknownOptionsAreReportedWhole)
{
	EXPECT_EQ(RunOptions({"/q"}), "unknown option /q\n");
	EXPECT_EQ(RunOptions({"-quiet please"}), "unknown option -quiet please\n");
	EXPECT_EQ(RunOptions({"/"}), "unknown option /\n");
	EXPECT_EQ(RunOptions({"-"}), "unknown option -\n");
	EXPECT_EQ(RunOptions({"//c"}), "unknown option //c\n");
	EXPECT_EQ(RunOptions({"/ c"}), "unknown option / c\n");
	EXPECT_TRUE(fake::state.calls.empty());
}

TEST_F(Options, LettersAboveAsciiAreUnknown)
{
	/* Latin-1 and UTF-8 letters that upper-case or fold to option letters. */
	for (const char *arg : {"/\xE7", "/\xC7", "-\xFF", "/\xC3\xA7", "/\x81x"})
		EXPECT_EQ(RunOptions({arg}), std::string("unknown option ") + arg + "\n") << arg;
	/* Asked only how the console would show them (here: no console). */
	EXPECT_EQ(fake::state.calls, std::vector<std::string>(5, "GetConsoleOutputCP()"));
}

TEST_F(Options, ArgumentsWithoutPrefixAreSkippedSilently)
{
	EXPECT_EQ(RunOptions({"word", "c", "C:\\file.txt", "", "?", "x/c"}), "");
	EXPECT_TRUE(fake::state.calls.empty());
}

TEST_F(Options, BothPrefixesAndBothCasesSelectTheSameAction)
{
	EXPECT_EQ(RunOptions({"/c", "/C", "-c", "-C"}), "1234123412341234");
	EXPECT_EQ(RunOptions({"/f", "/F", "-f", "-F"}), "777777777777");
}

TEST_F(Options, OnlyTheSecondCharacterCountsForValuelessLetters)
{
	EXPECT_EQ(RunOptions({"/cx"}), "1234");
	EXPECT_TRUE(fake::Calls("GetSystemMenu").empty());
	EXPECT_EQ(RunOptions({"/f?"}), "777");

	fake::Reset();
	std::string info = RunOptions({"/information"});
	EXPECT_EQ(info.rfind("hwnd console=", 0), 0u) << info;
	EXPECT_NE(info.find("OS version="), std::string::npos) << info;
}

TEST_F(Options, RepeatedOptionsActEachTime)
{
	EXPECT_EQ(RunOptions({"/c", "/c"}), "12341234");
	EXPECT_EQ(fake::Calls("FindWindowA").size(), 2u);
}

TEST_F(Options, OutputFollowsTheOrderOfTheOptions)
{
	EXPECT_EQ(RunOptions({"/f", "/q", "/c", "/r"}),
	          "777unknown option /q\n1234Refreshing fonts ... OK\n");
}

TEST_F(Options, TitleAndCloseAreSilent)
{
	EXPECT_EQ(RunOptions({"/tNew", "/x", "/X", "-Tother"}), "");
	EXPECT_EQ(fake::state.title, "other");
}

/*
 * Echoed values in the console's output code page, which the console, for /f
 * and redirections read them in: from the value as typed, else (9x) from
 * main's ANSI bytes widened; those bytes as they are where there is no
 * console or the page is unknown. UTF-8 and the 9x family refuse the flag
 * that keeps look-alikes out, and convert without it.
 */
TEST_F(Options, EchoesAreInTheConsolesOutputCodePage)
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
