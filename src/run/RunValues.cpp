// The run's working values: number conversion, checked arithmetic, and the texts built from them.
#include "run/RunValues.h"

#include <limits>

#include "run/NumberText.h"
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

}  // namespace

std::int32_t ToInt32(const std::string& text) {
    const Int32FromText number = TextToInt32(text);
    switch (number.error) {
        case NumberTextError::kTypeMismatch: RaiseTypeMismatch();
        case NumberTextError::kOverflow: RaiseOverflow();
        case NumberTextError::kNone: break;
    }
    return number.value;
}

std::int32_t CheckedAdd(std::int32_t a, std::int32_t b) {
    return Narrow(static_cast<std::int64_t>(a) + static_cast<std::int64_t>(b));
}

std::int32_t CheckedSubtract(std::int32_t a, std::int32_t b) {
    return Narrow(static_cast<std::int64_t>(a) - static_cast<std::int64_t>(b));
}

std::int32_t CheckedInt32(std::int64_t value) { return Narrow(value); }

std::string ArchivePath(const std::string& aveFolder, std::int32_t number) {
    const std::string name = AveName(number);
    return AddTrailingBackslash(aveFolder) + name + "\\" + name + ".ach";
}

std::optional<std::int64_t> TimeLimitMinutes(const std::string& text) {
    constexpr std::int64_t kMinutesInAYear = 366LL * 24 * 60;
    return ReadWholeNumber(TrimSpaces(text), 1, kMinutesInAYear);
}

std::optional<std::int64_t> RetriesOf(const std::string& text) {
    const std::string digits = TrimSpaces(text);
    if (digits.size() != 1 || digits[0] < '0' || digits[0] > '0' + kMostRetries) {
        return std::nullopt;
    }
    return digits[0] - '0';
}

std::string ScriptCommand(const std::string& applicationFolder) {
    return "\"" + applicationFolder + "\\Files\\KavroTestScript1.vbs\"";
}

}  // namespace orlenta
