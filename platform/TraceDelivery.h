// Delivery of one finished trace line to a trace window of another process. Each call stands
// for one Win32 call: RegisterWindowMessageA, FindWindowA, GlobalAddAtomA, SendMessageA,
// GlobalDeleteAtom. The wire protocol on POSIX is described in docs/trace-delivery.md.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform
{

struct STraceWindow;
using HTraceWindow = STraceWindow*; // null: no such window

// A handle for a text of at most kMaxTraceAtomText characters that the window reads back
// while it handles the message. 0 means "no atom".
using TraceAtom = std::uintptr_t;

// The registered message that carries a line, the same name for senders and windows.
inline constexpr char kTraceMessageName[] = "*WM_TRACE_MSG";
inline constexpr std::size_t kMaxTraceAtomText = 255;

// RegisterWindowMessageA: the same nonzero id for the same name in every process, 0 on failure.
std::uint32_t RegisterTraceMessage(const char* pszName);

// FindWindowA(class, no title): a window of that class run by this user (or root), or null.
// The handle must be given back with ReleaseTraceWindow.
HTraceWindow FindTraceWindow(const char* pszWindowClass);

// GlobalAddAtomA: 0 when the text is null, empty or longer than kMaxTraceAtomText. The text
// must stay valid until DeleteTraceAtom.
TraceAtom AddTraceAtom(const char* pszText);

// SendMessageA(window, msg, atom, 0): returns once the window has handled the line or has gone
// away. An atom of 0 sends an empty line. false when the line could not be handed over.
bool SendTraceMessage(HTraceWindow hWindow, std::uint32_t uMsg, TraceAtom atom);

// GlobalDeleteAtom; 0 is ignored.
void DeleteTraceAtom(TraceAtom atom);

// Gives back what FindTraceWindow returned (nothing to do on Win32). Null is ignored.
void ReleaseTraceWindow(HTraceWindow hWindow);

} // namespace platform
