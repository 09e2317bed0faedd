#include "tests/support/PrivateBoard.h"

#include "tests/support/BoardLeftovers.h"
#include "tests/support/ChildProcess.h"

namespace testsupport
{

std::string CPrivateBoardEnvironment::Prefix()
{
    return "movajobtest" + std::to_string(CurrentProcessId());
}

void CPrivateBoardEnvironment::SetUp()
{
    SetEnvironmentValue("KORIXSIM_PREFIX", Prefix().c_str());
}

void CPrivateBoardEnvironment::TearDown()
{
    RemoveBoardLeftovers(Prefix());
}

} // namespace testsupport
