// The prefix of the simulated boards' shared names: "korix", or KORIXSIM_PREFIX when set,
// which lets tests and parallel users keep boards of their own.
#pragma once

#include <string>

namespace korix
{

// Null when KORIXSIM_PREFIX holds more than 64 characters or any but letters, digits, '_',
// '-' and '.': such a prefix would make names the system refuses or that reach elsewhere.
const char* BoardNamePrefix();

// When KORIXSIM_PREFIX is set but unusable, what a person should be told: the variable, its
// value and what it may hold. Empty otherwise.
std::string UnusablePrefixMessage();

} // namespace korix
