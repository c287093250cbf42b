// The block check of verified copies.
#pragma once

#include <cstdint>

namespace rd {

// The sum of the block's bytes, each taken as a signed 8-bit value, wrapping: four bytes 0xFF
// sum to -4. Kept for the reports; the copies themselves are compared byte for byte, since a sum
// misses swapped or offsetting bytes.
int32_t BlockSum(const uint8_t* data, uint32_t n);

}  // namespace rd
