/* Hostile command lines: huge values, control characters, high bytes. */
#include "run.h"

class Hostile : public FakeTest {};

static const std::size_t MEGABYTE = 1 << 20;

TEST_F(Hostile, MegabyteTitleIsSetWholeAndSurvivesALaterDiscovery)
{
	std::string value(MEGABYTE, 't');
	value.back() = '!';
	fake::state.consoleWindow = 7;
	EXPECT_EQ(RunOptions({"/t" + value, "/c"}), "0"); /* too long to save: left alone */
	EXPECT_EQ(fake::state.title, value);
	EXPECT_TRUE(fake::Calls("FindWindowA").empty());
}

TEST_F(Hostile, MegabyteFontValueIsReportedWhole)
{
	std::string value(MEGABYTE, 'f');
	EXPECT_EQ(RunOptions({"-r" + value}), "Adding font " + value + " ... Jmeno fontu " + value +
	                                          "\nExistuje ? 0\nOK\nRefreshing fonts ... OK\n");
}

TEST_F(Hostile, ControlCharactersAndHighBytesPassThroughAsData)
{
	std::string controls;
	for (int c = 1; c < 32; c++)
		controls += static_cast<char>(c);
	fake::state.title = "user";
	fake::state.consoleWindow = 5;
	std::string out = RunOptions({"/" + controls, "/t" + controls + "\x7f\x80\xff", "/c",
	                              "-r\x1b]2;x\x07\xff"});
	EXPECT_EQ(out, "unknown option /" + controls + "\n5" +
	                   "Adding font \x1b]2;x\x07\xff ... Jmeno fontu \x1b]2;x\x07\xff\n"
	                   "Existuje ? 0\nOK\nRefreshing fonts ... OK\n");
	EXPECT_EQ(fake::state.title, controls + "\x7f\x80\xff");
}

TEST_F(Hostile, ManyArgumentsAreAllWalked)
{
	std::vector<std::string> args(10000, "/q");
	args.push_back("/f");
	std::string out = RunOptions(args);
	EXPECT_EQ(out.size(), 10000 * std::string("unknown option /q\n").size() + 1);
	EXPECT_EQ(out.back(), '0');
}
