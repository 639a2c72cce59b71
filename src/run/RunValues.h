// The run's working values: number conversion, checked arithmetic, and the texts built from them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "run/AveChoice.h"  // AveName

namespace orlenta {

// A decimal text as a 32-bit signed integer, the way a Basic CLng reads it: outer spaces
// ignored, an optional sign, a fraction rounded half to even. Raises "Type mismatch" (13)
// for anything else and "Overflow" (6) outside the 32-bit range.
std::int32_t ToInt32(const std::string& text);

// 32-bit arithmetic that raises "Overflow" (6) instead of wrapping.
std::int32_t CheckedAdd(std::int32_t a, std::int32_t b);
std::int32_t CheckedSubtract(std::int32_t a, std::int32_t b);
std::int32_t CheckedInt32(std::int64_t value);

// The archive path shown for a pass: D:\AVES\ and 7 give D:\AVES\Ave007\Ave007.ach.
std::string ArchivePath(const std::string& aveFolder, std::int32_t number);

// A pass's time limit from its text in minutes: a positive whole number (outer spaces allowed), at
// most a year; nothing for any other text.
std::optional<std::int64_t> TimeLimitMinutes(const std::string& text);

// The retries a pass gets, from "-RETRY=": a whole number from 0 to 5; nothing for any other text.
std::optional<std::int64_t> RetriesOf(const std::string& text);
inline constexpr std::int64_t kMostRetries = 5;

// The quoted path of the external test script below the program's folder.
std::string ScriptCommand(const std::string& applicationFolder);

}  // namespace orlenta
