// Whether the master works: what "test" and "scan" say about it in their last line.
#pragma once

#include "tools/movactl/BoardSession.h"

#include <string>
#include <vector>

namespace movactl
{

struct SMasterState
{
    bool bOperational = false;
    std::string strText; // after "master: "
};

// From the records of a connection test (TestConnections) and, when a slave exchanges data,
// one read of it.
SMasterState ProbeMaster(CBoardSession& session, const std::vector<SJobParam>& aRecords);

} // namespace movactl
