// The plant every board starts with, and returns to on reset.
#pragma once

#include "sim/SharedBoardLayout.h"

#include <cstdint>

namespace korix
{

// The default plant as a plant file; docs/simulated-board.md shows the same text.
extern const char kDefaultPlantText[];

// Replaces the plant with the default one, its generators' time starting at dwNow.
void InstallDefaultPlant(SPlant& plant, std::uint32_t dwNow);

} // namespace korix
