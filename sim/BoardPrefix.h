// The prefix of the simulated boards' shared names: "korix", or KORIXSIM_PREFIX when set,
// which lets tests and parallel users keep boards of their own.
#pragma once

namespace korix
{

// Null when KORIXSIM_PREFIX holds more than 64 characters or any but letters, digits, '_',
// '-' and '.': such a prefix would make names the system refuses or that reach elsewhere.
const char* BoardNamePrefix();

} // namespace korix
