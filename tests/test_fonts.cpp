/* Font refresh: the font-file report and the broadcast. */
#include "run.h"

#include "fonts/fonts.h"

using Calls = std::vector<std::string>;
using fake::Console;

class Fonts : public FakeTest {};

/* Windows of threads of their own, answering at once. */
static void
Windows(std::initializer_list<plat::WindowHandle> handles)
{
	int thread = 0;
	for (plat::WindowHandle h : handles) {
		fake::Window w;
		w.handle = h;
		w.thread = ++thread;
		fake::state.windows.push_back(w);
	}
}

TEST_F(Fonts, RefreshAloneTellsEveryWindowOnce)
{
	Windows({0x10, 0x20, 0x30});
	EXPECT_EQ(RunOptions({"/r"}), "Refreshing fonts ... OK\n");
	for (const fake::Window &w : fake::state.windows) {
		EXPECT_EQ(w.received, 1) << w.handle;
		EXPECT_EQ(w.answered, 1) << w.handle;
	}
}

TEST_F(Fonts, RefreshWithAMissingFontReportsZero)
{
	EXPECT_EQ(RunOptions({"/rC:\\Fonts\\nope.ttf"}),
	          "Adding font C:\\Fonts\\nope.ttf ... Jmeno fontu C:\\Fonts\\nope.ttf\n"
	          "Existuje ? 0\n"
	          "OK\n"
	          "Refreshing fonts ... OK\n");
	EXPECT_EQ(fake::state.calls, (Calls{"StatPath(C:\\Fonts\\nope.ttf)", "EnumWindows()"}));
}

/*
 * However many windows are slow, /r waits 5 s in all, ending as soon as
 * every window waited for has answered; none is left out, and those that
 * have not answered get the message when they do. A hung window is not
 * waited for where the system can tell (2000 and later); one that refuses
 * the message (Vista and later: a program with more rights) neither.
 */
TEST_F(Fonts, RefreshWaitsFiveSecondsInAllWhateverTheWindows)
{
	const unsigned NEVER = ~0u;
	const struct {
		const char *what;
		int slow;          /* windows of one thread, 2 s each */
		bool hung, refuses, entry;
		unsigned start;    /* the tick count /r starts at */
		unsigned waited;   /* how long /r waits */
		int answered;      /* how many windows answered before OK */
	} rows[] = {
	    {"one quick window", 0, false, false, true, 0, 0, 1},
	    {"eight slow windows of one program", 8, false, false, true, 0, 5000, 3},
	    {"two slow windows", 2, false, false, true, 0, 4000, 3},
	    {"a hung window", 0, true, false, true, 0, 0, 1},
	    {"a hung window, 95 to NT 4", 0, true, false, false, 0, 5000, 1},
	    {"a refusing window", 0, false, true, true, 0, 0, 1},
	    {"the tick count wrapping", 8, false, false, true, NEVER - 999, 5000, 3},
	};
	for (const auto &r : rows) {
		SCOPED_TRACE(r.what);
		fake::Reset();
		fake::state.ticks = r.start;
		fake::state.hasHungEntry = r.entry;
		Windows({0x100}); /* answers at once */
		for (int i = 0; i < r.slow; i++) {
			fake::Window w;
			w.handle = 0x200 + static_cast<plat::WindowHandle>(i);
			w.thread = 99;
			w.answerMs = 2000;
			fake::state.windows.push_back(w);
		}
		fake::Window odd;
		odd.handle = 0x300;
		odd.thread = 100;
		odd.hung = r.hung;
		odd.refuses = r.refuses;
		if (r.hung || r.refuses)
			fake::state.windows.push_back(odd);

		EXPECT_EQ(RunOptions({"/r"}), "Refreshing fonts ... OK\n");
		EXPECT_EQ(fake::state.ticks - r.start, r.waited);
		int answered = 0;
		for (const fake::Window &w : fake::state.windows) {
			EXPECT_EQ(w.received, w.refuses ? 0 : 1) << w.handle;
			answered += w.answered;
		}
		EXPECT_EQ(answered, r.answered);
		EXPECT_EQ(fake::state.windows[0].answered, 1);
	}
}

TEST_F(Fonts, RefreshWithAnExistingFontReportsOne)
{
	fake::state.files.insert("arial.ttf");
	EXPECT_EQ(RunOptions({"-Rarial.ttf"}),
	          "Adding font arial.ttf ... Jmeno fontu arial.ttf\nExistuje ? 1\nOK\n"
	          "Refreshing fonts ... OK\n");
}

TEST_F(Fonts, FontValuesAreReportedVerbatim)
{
	/* Printed as data, never as a format. */
	EXPECT_EQ(RunOptions({"/r%s%n%d"}),
	          "Adding font %s%n%d ... Jmeno fontu %s%n%d\nExistuje ? 0\nOK\n"
	          "Refreshing fonts ... OK\n");
}

TEST_F(Fonts, LongFontValueIsReportedWhole)
{
	std::string path(100000, 'f');
	path.front() = 'A';
	path.back() = 'Z';
	std::string out = RunOptions({"/r" + path});
	EXPECT_EQ(out, "Adding font " + path + " ... Jmeno fontu " + path +
	                   "\nExistuje ? 0\nOK\nRefreshing fonts ... OK\n");
	EXPECT_EQ(fake::Calls("EnumWindows").size(), 1u);
}

TEST_F(Fonts, EachRefreshTellsEveryWindow)
{
	Windows({0x10, 0x20});
	EXPECT_EQ(RunOptions({"/r", "/R"}), "Refreshing fonts ... OK\nRefreshing fonts ... OK\n");
	EXPECT_EQ(fake::state.windows[0].received, 2);
	EXPECT_EQ(fake::state.windows[1].answered, 2);
}

TEST_F(Fonts, ExistenceIsWhateverTheStatusQueryAccepts)
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

TEST_F(Fonts, LookedUpByThePathAsTyped)
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
