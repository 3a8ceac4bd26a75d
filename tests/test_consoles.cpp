/* The title discovery on every console model: titles of every length and script. */
#include "run.h"

#include "console/console.h"

using fake::Console;

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

TEST_F(Fake, EveryConsoleKeepsEveryTitleAndFindsItsWindowWhereItCanReadIt)
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
TEST_F(Fake, ConsoleModelsAnswerAsTheirSystemsDo)
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
