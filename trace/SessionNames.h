// The names of the library's trace sessions and trace window classes, composed here alone: the
// job, the protocol object and the DP communication name their sessions with these, and the
// tools that look for those sessions (movactl, movatrace) compose the same names the same way.
#pragma once

#include <cstddef>
#include <cstdio>

namespace tracenames
{

inline constexpr char kJobSession[] = "MovaJob";
inline constexpr char kProtoSession[] = "MovaProto";
inline constexpr char kDPComSession[] = "DPCom";

inline constexpr char kJobWindowClass[] = "MovaJobWin";
inline constexpr char kProtoWindowClass[] = "MovaProtoWin";
inline constexpr char kDPComWindowClass[] = "DPComWin";

// Long enough for every name composed here.
inline constexpr std::size_t kSessionNameSize = 32;

// The DP communication names boards 1 to 4 by one digit and every other board alike.
inline constexpr int kLastDigitBoard = 4;

// The job's and the protocol object's session once opened on a board: the base name with the
// decimal board number appended ("MovaJob3", "MovaProto-1").
inline void ComposeBoardSession(char (&szName)[kSessionNameSize], const char* pszBase, int nBoard)
{
    std::snprintf(szName, sizeof szName, "%s%d", pszBase, nBoard);
}

// The DP communication's session: "DPCom1" to "DPCom4", and "DPCom???" for any other board.
inline void ComposeDPComSession(char (&szName)[kSessionNameSize], int nBoard)
{
    if (nBoard >= 1 && nBoard <= kLastDigitBoard)
        std::snprintf(szName, sizeof szName, "%s%c", kDPComSession, "1234"[nBoard - 1]);
    else
        std::snprintf(szName, sizeof szName, "%s???", kDPComSession);
}

} // namespace tracenames
