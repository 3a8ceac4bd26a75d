/* Runs the program's entry points against the fake, capturing stdout. */
#ifndef OSTRIVEL_TEST_RUN_H
#define OSTRIVEL_TEST_RUN_H

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_platform.h"

/* The arguments after the program's name, through HandleOptions. */
std::string RunOptions(const std::vector<std::string> &args);
/* The whole program, main included; args excludes the program's name. */
std::string RunMain(const std::vector<std::string> &args, int *status = nullptr);
/* Anything else that prints. */
template <typename F>
std::string
Capture(F f)
{
	testing::internal::CaptureStdout();
	f();
	std::fflush(stdout);
	return testing::internal::GetCapturedStdout();
}

/* main gets ansi; the wide command line, where typed is not empty, has typed. */
std::string RunTyped(const std::vector<std::string> &ansi, const std::vector<std::u16string> &typed);

/* Every suite starts from a fresh fake: a 9x console with no windows. */
class FakeTest : public testing::Test {
protected:
	void SetUp() override { fake::Reset(); }
};

#endif
