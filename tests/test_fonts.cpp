/* Font refresh: the font-file report and the broadcast. */
#include "run.h"

#include "fonts/fonts.h"

using Calls = std::vector<std::string>;

static const std::string BROADCAST = "SendMessageTimeoutA(0xFFFF,0x1D,0,0,0x2,5000)";

TEST_F(Fake, RefreshAloneBroadcastsOnce)
{
	EXPECT_EQ(RunOptions({"/r"}), "Refreshing fonts ... OK\n");
	EXPECT_EQ(fake::state.calls, (Calls{BROADCAST}));
}

TEST_F(Fake, RefreshWithAMissingFontReportsZero)
{
	EXPECT_EQ(RunOptions({"/rC:\\Fonts\\nope.ttf"}),
	          "Adding font C:\\Fonts\\nope.ttf ... Jmeno fontu C:\\Fonts\\nope.ttf\n"
	          "Existuje ? 0\n"
	          "OK\n"
	          "Refreshing fonts ... OK\n");
	EXPECT_EQ(fake::state.calls, (Calls{"StatPath(C:\\Fonts\\nope.ttf)", BROADCAST}));
}

TEST_F(Fake, RefreshWithAnExistingFontReportsOne)
{
	fake::state.files.insert("arial.ttf");
	EXPECT_EQ(RunOptions({"-Rarial.ttf"}),
	          "Adding font arial.ttf ... Jmeno fontu arial.ttf\nExistuje ? 1\nOK\n"
	          "Refreshing fonts ... OK\n");
}

TEST_F(Fake, FontValuesAreReportedVerbatim)
{
	/* Printed as data, never as a format. */
	EXPECT_EQ(RunOptions({"/r%s%n%d"}),
	          "Adding font %s%n%d ... Jmeno fontu %s%n%d\nExistuje ? 0\nOK\n"
	          "Refreshing fonts ... OK\n");
}

TEST_F(Fake, LongFontValueIsReportedWhole)
{
	std::string path(100000, 'f');
	path.front() = 'A';
	path.back() = 'Z';
	std::string out = RunOptions({"/r" + path});
	EXPECT_EQ(out, "Adding font " + path + " ... Jmeno fontu " + path +
	                   "\nExistuje ? 0\nOK\nRefreshing fonts ... OK\n");
	EXPECT_EQ(fake::Calls("SendMessageTimeoutA").size(), 1u);
}

TEST_F(Fake, EachRefreshBroadcasts)
{
	EXPECT_EQ(RunOptions({"/r", "/R"}), "Refreshing fonts ... OK\nRefreshing fonts ... OK\n");
	EXPECT_EQ(fake::state.calls, (Calls{BROADCAST, BROADCAST}));
}

TEST_F(Fake, ExistenceIsWhateverTheStatusQueryAccepts)
{
	fake::state.files.insert("C:\\Windows");
	EXPECT_EQ(FileExists("C:\\Windows", nullptr), 1);
	EXPECT_EQ(FileExists("C:\\Windows\\", nullptr), 0);
	EXPECT_EQ(FileExists("", nullptr), 0);
	EXPECT_EQ(Capture([] {
		          EXPECT_EQ(InstallFontIntoWindows("C:\\Windows", nullptr, "C:\\Windows"), 1);
	          }),
	          "Jmeno fontu C:\\Windows\nExistuje ? 1\n");
}
