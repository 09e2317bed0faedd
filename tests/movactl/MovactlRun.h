// movactl as the tests run it: a real process on this test process's private simulated board.
#pragma once

#include "sim/SimControl.h"
#include "tests/support/ChildProcess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace movactltest
{

struct SRun
{
    int nExitCode;
    std::string strOutput; // standard output and standard error together
};

// Runs movactl with the arguments to its end. A sanitizer report fails the test.
SRun RunMovactl(const std::vector<std::string>& aArgs);

// Starts movactl with its standard error in the same pipe as its output.
std::unique_ptr<testsupport::CChildProcess> StartMovactl(const std::vector<std::string>& aArgs);

#if !defined(_WIN32)
// Runs movactl to its end with its standard output and error on a pseudo terminal; what it
// wrote. aEnvironment: NAME=VALUE entries that replace or add to this process's environment.
std::string RunOnTerminal(const std::vector<std::string>& aArgs,
                          const std::vector<std::string>& aEnvironment = {});
#endif

// Runs korixsim with the arguments on this test process's private board; false (and a test
// failure) unless it succeeded.
bool Korixsim(const std::vector<std::string>& aArgs);

// The output's lines with runs of blanks squeezed to one and no blanks at either end, so that
// table rows compare without their column widths.
std::vector<std::string> Rows(const std::string& strOutput);

// The outputs the board holds for a slave.
std::vector<std::uint8_t> BoardOutputs(std::uint8_t byAddress);

// Whole text against an ECMAScript regular expression, and a part of it: the same on every
// platform (googletest's own regular expressions are only simple ones on Windows).
MATCHER_P(MatchesPattern, strPattern, "matches " + std::string(strPattern))
{
    return std::regex_match(std::string(arg), std::regex(strPattern));
}
MATCHER_P(ContainsPattern, strPattern, "contains " + std::string(strPattern))
{
    return std::regex_search(std::string(arg), std::regex(strPattern));
}

// Each test starts from the default plant without faults.
class MovactlTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(korix::ResetBoard(1).bOk); }
};

} // namespace movactltest
