// The names that movatrace sessions looks at. Where the system lists the named level blocks
// (POSIX) they are the names of the live blocks. Windows has no call that lists named file
// mappings, so there the names the library and tracedemo give their sessions are tried.
#pragma once

#include <string>
#include <vector>

namespace movatrace
{

// The trace names of the library's objects for boards 0 to 255 and their names before a board
// is known (MovaJob, MovaJob<N>, MovaProto, MovaProto<N>, DPCom1 to DPCom4, DPCom???), and
// tracedemo's default, TraceDemo.
std::vector<std::string> KnownSessionNames();

// The names to try: the live blocks' where they can be listed, else KnownSessionNames().
std::vector<std::string> SessionNamesToTry();

} // namespace movatrace
