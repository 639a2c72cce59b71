// Decimal text to a 32-bit integer with an error result instead of a raised error; compiles
// without windows.h (fuzzed natively).
#pragma once

#include <cstdint>
#include <string_view>

namespace orlenta {

enum class NumberTextError { kNone, kTypeMismatch, kOverflow };

struct Int32FromText {
    std::int32_t value = 0;  // 0 unless error is kNone
    NumberTextError error = NumberTextError::kNone;
};

// The text as a Basic CLng reads it: outer spaces ignored, an optional sign, digits with an
// optional fraction (at least one digit in all), the fraction rounded half to even.
Int32FromText TextToInt32(std::string_view text);

}  // namespace orlenta
