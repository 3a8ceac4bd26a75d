/* The close button: Close removed from this console's window, its frame redrawn. */
#include "run.h"

#include "console/console.h"

using Calls = std::vector<std::string>;

class Close : public FakeTest {};

TEST_F(Close, RemovesCloseByCommandAndRedrawsTheFrame)
{
	fake::state.title = "cmd";
	fake::state.consoleWindow = 42;
	fake::state.systemMenu = 0x3E8;
	EXPECT_EQ(Capture([] { DisableCloseButton(); }), "");
	Calls tail(fake::state.calls.end() - 3, fake::state.calls.end());
	EXPECT_EQ(tail, (Calls{"GetSystemMenu(42,0)", "DeleteMenu(1000,0xF060,0x0)",
	                       "SetWindowPos(42,0,0,0,0,0,0x4037)"}));
	EXPECT_EQ(fake::state.title, "cmd");
}

TEST_F(Close, WithNoConsoleWindowStillRunsEveryStepSilently)
{
	fake::state.title = "cmd";
	fake::state.systemMenu = 0x3E8;
	EXPECT_EQ(RunOptions({"/x", "/x"}), "");
	EXPECT_EQ(fake::Calls("GetSystemMenu"), (Calls{"GetSystemMenu(0,0)", "GetSystemMenu(0,0)"}));
	EXPECT_EQ(fake::Calls("SetWindowPos").front(), "SetWindowPos(0,0,0,0,0,0,0x4037)");
	EXPECT_EQ(fake::state.title, "cmd");
}
