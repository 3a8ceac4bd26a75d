/* The command line: usage text, unknown options and the option walk. */
#include "run.h"

static const char USAGE[] =
    "\nOstrivel v1.0\n"
    "  usage:\n"
    "    /t\"TitleCaptionText\" - set TITLE of active console\n"
    "    /c - return HWND number of active Console\n"
    "    /f - return HWND of Foreground window\n"
    "    /i - return all Information (HWNDs of active console, active window, ...)\n"
    "    /r - refresh fonts (announce all the application)\n"
    "    /x - disable close button\n"
    "\n";

class Options : public Fake {
protected:
	void SetUp() override
	{
		Fake::SetUp();
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
	EXPECT_EQ(RunOptions({"-?", "/c"}), std::string(USAGE) + "1234");
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
