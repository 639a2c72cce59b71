// Decimal text to numbers: the Basic reading of a 32-bit integer with an error result instead of a
// raised error, and the one reading of a whole number; compiles without windows.h (fuzzed natively).
#pragma once

#include <cstdint>
#include <optional>
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

// A whole number as options and lists write it: decimal digits only, leading zeros allowed, a
// leading "+" or "-" only when `signAllowed`, and the value within [least, most]; nothing for any
// other text (spaces included: a caller trims where its format allows them). `least` must be above
// the smallest 64-bit number.
std::optional<std::int64_t> ReadWholeNumber(std::string_view text, std::int64_t least, std::int64_t most,
                                            bool signAllowed = false);

}  // namespace orlenta
