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

/* One probe for each thread, sent after every window has the message. */
TEST_F(Fonts, RefreshAloneTellsEveryWindowOnce)
{
	Windows({0x10, 0x20, 0x30});
	fake::Window same;
	same.handle = 0x40;
	same.thread = fake::state.windows[0].thread;
	fake::state.windows.push_back(same);
	EXPECT_EQ(RunOptions({"/r"}), "Refreshing fonts ... OK\n");
	for (const fake::Window &w : fake::state.windows) {
		EXPECT_EQ(w.received, 1) << w.handle;
		EXPECT_EQ(w.handled, 1) << w.handle;
	}
	Calls sends = fake::Calls("Send");
	ASSERT_EQ(sends.size(), 7u);
	for (std::size_t i = 0; i < 4; i++)
		EXPECT_EQ(sends[i].rfind("SendNotifyMessageA(", 0), 0u) << sends[i];
	EXPECT_EQ(sends[4], "SendMessageTimeoutA(16,0x0,0,0,0x2)");
	EXPECT_EQ(sends[5], "SendMessageTimeoutA(32,0x0,0,0,0x2)");
	EXPECT_EQ(sends[6], "SendMessageTimeoutA(48,0x0,0,0,0x2)");
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
 * every thread has handled the message; none is left out, and those that
 * have not got to it yet get it later. Not waited for: a thread the system
 * calls hung (on 95 to ME too, and on ReactOS, whose SMTO_ABORTIFHUNG waits
 * 20 s), a send refused or dropped (UIPI), a program that ends.
 */
TEST_F(Fonts, RefreshWaitsFiveSecondsInAllWhateverTheWindows)
{
	const unsigned NEVER = ~0u;
	const struct {
		const char *what;
		int programs, slow; /* programs of slow windows, 2 s each, slow more in each */
		bool hung, refuses, drops, entry, late;
		unsigned ends;      /* the odd window's program ends this far into it */
		unsigned start;     /* the tick count /r starts at */
		unsigned waited;    /* how long /r waits */
		int handled;        /* font changes handled before OK */
	} rows[] = {
	    {"one quick window", 0, 0, false, false, false, true, false, 0, 0, 0, 1},
	    {"eight slow windows of one program", 1, 8, false, false, false, true, false, 0, 0, 5000, 4},
	    {"two slow windows", 1, 2, false, false, false, true, false, 0, 0, 4000, 4},
	    {"two programs of two and three slow windows", 2, 2, false, false, false, true, false, 0, 0, 5000,
	     6},
	    {"a hung window", 0, 0, true, false, false, true, false, 0, 0, 0, 1},
	    {"a hung window, 95 to ME", 0, 0, true, false, false, false, false, 0, 0, 0, 1},
	    {"a hung window, ReactOS", 0, 0, true, false, false, true, true, 0, 0, 0, 1},
	    {"a refusing window", 0, 0, false, true, false, true, false, 0, 0, 0, 1},
	    {"a window that drops it", 0, 0, false, false, true, true, false, 0, 0, 0, 1},
	    {"a program ending 1 s into it", 0, 0, false, false, false, true, false, 1000, 0, 1000, 1},
	    {"the tick count wrapping", 1, 8, false, false, false, true, false, 0, NEVER - 999, 5000, 4},
	};
	for (const auto &r : rows) {
		SCOPED_TRACE(r.what);
		fake::Reset();
		fake::state.ticks = r.start;
		fake::state.hasHungEntry = r.entry;
		fake::state.hungLate = r.late;
		Windows({0x100}); /* answers at once */
		for (int p = 0; p < r.programs; p++)
			for (int i = 0; i < r.slow + p; i++) {
				fake::Window w;
				w.handle = 0x200 + static_cast<plat::WindowHandle>(16 * p + i);
				w.thread = 99 + p;
				w.answerMs = 2000;
				fake::state.windows.push_back(w);
			}
		fake::Window quick; /* a thread probed after the slow ones, near the deadline */
		quick.handle = 0x280;
		quick.thread = 300;
		if (r.programs > 0)
			fake::state.windows.push_back(quick);
		fake::Window odd;
		odd.handle = 0x300;
		odd.thread = 200;
		odd.hung = r.hung;
		odd.refuses = r.refuses;
		odd.drops = r.drops;
		odd.endsAfterMs = r.ends;
		if (r.hung || r.refuses || r.drops || r.ends != 0)
			fake::state.windows.push_back(odd);

		EXPECT_EQ(RunOptions({"/r"}), "Refreshing fonts ... OK\n");
		EXPECT_EQ(fake::state.ticks - r.start, r.waited);
		int handled = 0;
		for (const fake::Window &w : fake::state.windows) {
			EXPECT_EQ(w.received, w.refuses || w.drops ? 0 : 1) << w.handle;
			handled += w.handled;
		}
		EXPECT_EQ(handled, r.handled);
		EXPECT_EQ(fake::state.windows[0].handled, 1);
	}
}

/*
 * The second /r waits for its own message: the first one's, handled after
 * the first had given up, does not end it early.
 */
TEST_F(Fonts, EachRefreshWaitsForItsOwnMessage)
{
	fake::Window w;
	w.handle = 0x10;
	w.answerMs = 6000;
	fake::state.windows.push_back(w);
	EXPECT_EQ(RunOptions({"/r", "/r"}), "Refreshing fonts ... OK\nRefreshing fonts ... OK\n");
	EXPECT_EQ(fake::state.ticks, 10000u);
	EXPECT_EQ(fake::state.windows[0].received, 2);
	EXPECT_EQ(fake::state.windows[0].handled, 1);
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
	EXPECT_EQ(fake::state.windows[1].handled, 2);
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
