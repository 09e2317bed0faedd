// Where the master says what happens on its bus, for a trace window: state changes and
// diagnosis at a low level, every telegram in hex with its decode at a high one. The master
// asks Wants() before it composes a line, so a level nobody raised costs one look at the level.
#pragma once

namespace dp
{

inline constexpr int kTraceStates = 1;      // state changes, diagnosis in words
inline constexpr int kTraceTelegrams = 200; // every telegram, decoded and in hex

class IBusTrace
{
public:
    virtual ~IBusTrace() = default;
    virtual bool Wants(int nLevel) = 0;
    // One line, without its line end.
    virtual void Line(int nLevel, const char* pszText) = 0;
};

} // namespace dp
