// TextToInt32 agrees with a plain reference reading of signs, digits and one decimal point, and
// every value it accepts reads back from its own decimal form; ReadWholeNumber takes exactly the
// texts of a sign and digits that TextToInt32 reads without overflow, and only within its range.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "run/NumberText.h"

namespace {

using orlenta::Int32FromText;
using orlenta::NumberTextError;

bool AllDigits(std::string_view text) { return text.find_first_not_of("0123456789") == std::string_view::npos; }

Int32FromText Reference(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (!AllDigits(whole) || !AllDigits(fraction) || whole.size() + fraction.size() == 0) {
        return {0, NumberTextError::kTypeMismatch};
    }
    long long magnitude = 0;
    for (const char c : whole) {
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 10'000'000'000LL) return {0, NumberTextError::kOverflow};
    }
    // Compared as texts, a fraction without its trailing zeros is above, at or below one half.
    while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
    if (fraction > "5" || (fraction == "5" && magnitude % 2 != 0)) ++magnitude;
    const long long value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX) return {0, NumberTextError::kOverflow};
    return {static_cast<std::int32_t>(value), NumberTextError::kNone};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Int32FromText actual = orlenta::TextToInt32(text);
    const Int32FromText expected = Reference(text);
    FUZZ_CHECK(actual.error == expected.error);
    FUZZ_CHECK(actual.value == expected.value);
    if (actual.error == NumberTextError::kNone) {
        const Int32FromText again = orlenta::TextToInt32(" " + std::to_string(actual.value) + " ");
        FUZZ_CHECK(again.error == NumberTextError::kNone && again.value == actual.value);
    }
    std::string_view digits = text;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) digits.remove_prefix(1);
    const bool plain = !digits.empty() && AllDigits(digits);
    const auto whole = orlenta::ReadWholeNumber(text, INT32_MIN, INT32_MAX, true);
    FUZZ_CHECK(whole.has_value() == (plain && actual.error == NumberTextError::kNone));
    FUZZ_CHECK(!whole || *whole == actual.value);
    // A narrower range and no sign: the same number or nothing.
    const auto narrow = orlenta::ReadWholeNumber(text, 1, 527040);
    FUZZ_CHECK(narrow.has_value() == (whole && digits.size() == text.size() && *whole >= 1 && *whole <= 527040));
    FUZZ_CHECK(!narrow || *narrow == *whole);
    return 0;
}
