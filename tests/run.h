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

class Fake : public testing::Test {
protected:
	void SetUp() override { fake::Reset(); }
};

#endif
