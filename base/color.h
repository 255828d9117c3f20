// A colour as the program passes it around: 0xRRGGBB (red in the high byte).
#pragma once

#include <cstdint>

namespace qz {

using TColor = uint32_t;

} // namespace qz
