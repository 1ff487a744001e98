// What a transposition changes in a picture's quantisation tables.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tarvo {

// The body of a DQT segment (after its length word) with every table transposed: a block's
// coefficient for frequency (u, v) moves to (v, u), and its step with it. The model's reader has
// checked that the tables fill the body.
std::vector<std::uint8_t> TransposedQuantTables(std::span<const std::uint8_t> body);

}  // namespace tarvo
