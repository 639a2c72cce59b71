// The run's working values: number conversion, checked arithmetic, and the texts built from them.
#include "run/RunValues.h"

#include <limits>

#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Text.h"
#include "util/modFileExists.h"

namespace orlenta {

namespace {

[[noreturn]] void RaiseOverflow() { throw AppError(error_number::kOverflow, ProgramName(), "Overflow"); }
[[noreturn]] void RaiseTypeMismatch() { throw AppError(error_number::kTypeMismatch, ProgramName(), "Type mismatch"); }

std::int32_t Narrow(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
        RaiseOverflow();
    }
    return static_cast<std::int32_t>(value);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::int32_t ToInt32(const std::string& text) {
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
        RaiseTypeMismatch();
    }

    const auto firstSignificant = integerPart.find_first_not_of('0');
    const std::string digits = firstSignificant == std::string::npos ? "" : integerPart.substr(firstSignificant);
    if (digits.size() > 12) {
        RaiseOverflow();
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
    return Narrow(negative ? -magnitude : magnitude);
}

std::int32_t CheckedAdd(std::int32_t a, std::int32_t b) {
    return Narrow(static_cast<std::int64_t>(a) + static_cast<std::int64_t>(b));
}

std::int32_t CheckedSubtract(std::int32_t a, std::int32_t b) {
    return Narrow(static_cast<std::int64_t>(a) - static_cast<std::int64_t>(b));
}

std::string AveName(std::int32_t number) {
    const std::int64_t wide = number;
    std::string digits = std::to_string(wide < 0 ? -wide : wide);
    if (digits.size() < 3) {
        digits.insert(0, 3 - digits.size(), '0');
    }
    return std::string("Ave") + (wide < 0 ? "-" : "") + digits;
}

std::string ArchivePath(const std::string& aveFolder, std::int32_t number) {
    const std::string name = AveName(number);
    return AddTrailingBackslash(aveFolder) + name + "\\" + name + ".ach";
}

std::string ScriptCommand(const std::string& applicationFolder) {
    return "\"" + applicationFolder + "\\Files\\KavroTestScript1.vbs\"";
}

}  // namespace orlenta
