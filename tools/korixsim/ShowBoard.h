// The text of korixsim show.
#pragma once

#include "sim/SimControl.h"

#include <string>

namespace korixsim
{

std::string FormatBoard(std::uint8_t byBoard, const korix::SBoardSnapshot& snapshot);

// "01 02 FF" for the bytes.
std::string HexLine(const std::uint8_t* pbyBytes, std::size_t nCount);

} // namespace korixsim
