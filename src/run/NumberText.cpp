// Decimal text to a 32-bit integer; compiles without windows.h.
#include "run/NumberText.h"

#include <limits>
#include <string>

#include "util/Text.h"

namespace orlenta {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

Int32FromText TextToInt32(std::string_view text) {
    const std::string trimmed = TrimSpaces(text);
    size_t pos = 0;
    bool negative = false;
    if (pos < trimmed.size() && (trimmed[pos] == '+' || trimmed[pos] == '-')) {
        negative = trimmed[pos] == '-';
        ++pos;
    }
    const size_t integerStart = pos;
    while (pos < trimmed.size() && IsDigit(trimmed[pos])) {
        ++pos;
    }
    const std::string integerPart = trimmed.substr(integerStart, pos - integerStart);
    std::string fractionPart;
    if (pos < trimmed.size() && trimmed[pos] == '.') {
        const size_t fractionStart = ++pos;
        while (pos < trimmed.size() && IsDigit(trimmed[pos])) {
            ++pos;
        }
        fractionPart = trimmed.substr(fractionStart, pos - fractionStart);
    }
    if (pos != trimmed.size() || (integerPart.empty() && fractionPart.empty())) {
        return {0, NumberTextError::kTypeMismatch};
    }

    const auto firstSignificant = integerPart.find_first_not_of('0');
    const std::string digits = firstSignificant == std::string::npos ? "" : integerPart.substr(firstSignificant);
    if (digits.size() > 12) {
        return {0, NumberTextError::kOverflow};
    }
    std::int64_t magnitude = digits.empty() ? 0 : std::stoll(digits);

    // Half to even, the rounding of a Basic conversion: 2.5 gives 2, 3.5 gives 4.
    if (!fractionPart.empty()) {
        const char first = fractionPart[0];
        const bool beyondHalf = fractionPart.find_first_not_of('0', 1) != std::string::npos;
        if (first > '5' || (first == '5' && (beyondHalf || magnitude % 2 == 1))) {
            ++magnitude;
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
        return {0, NumberTextError::kOverflow};
    }
    return {static_cast<std::int32_t>(value), NumberTextError::kNone};
}

std::optional<std::int64_t> ReadWholeNumber(std::string_view text, std::int64_t least, std::int64_t most,
                                            bool signAllowed) {
    bool negative = false;
    if (signAllowed && !text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || least > most) {
        return std::nullopt;
    }
    // The largest magnitude the range allows on this side; beyond it the digits need not be read.
    const std::int64_t bound = negative ? (least < 0 ? -least : 0) : (most > 0 ? most : 0);
    std::int64_t magnitude = 0;
    for (const char c : text) {
        if (!IsDigit(c)) {
            return std::nullopt;
        }
        if (magnitude > (bound - (c - '0')) / 10) {
            return std::nullopt;
        }
        magnitude = magnitude * 10 + (c - '0');
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < least || value > most) {
        return std::nullopt;
    }
    return value;
}

}  // namespace orlenta
