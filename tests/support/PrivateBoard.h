// Gives the test process simulated boards of its own: the board's shared memory names carry a
// prefix that only this process (and the children it starts) uses, and are removed at the end.
// Install it before the first board call, e.g. with testing::AddGlobalTestEnvironment.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace testsupport
{

class CPrivateBoardEnvironment : public testing::Environment
{
public:
    void SetUp() override;
    void TearDown() override;

    static std::string Prefix();
};

} // namespace testsupport
