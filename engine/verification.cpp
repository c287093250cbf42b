#include "engine/verification.h"

namespace rd {

int32_t BlockSum(const uint8_t* data, uint32_t n) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < n; ++i)
        sum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(data[i])));
    return static_cast<int32_t>(sum);
}

}  // namespace rd
