// Text helpers shared by every subsystem; texts are std::string in the system's ANSI code page.
#pragma once

#include <string>
#include <string_view>

namespace orlenta {

// Removes leading and trailing space characters (U+0020) only; tabs and other white space stay.
std::string TrimSpaces(std::string_view text);

// A duration as people read it: "0.4 s", "42.0 s", "4 min 05 s", "2 h 03 min".
std::string DurationText(double seconds);

// Upper and lower case in the system's ANSI code page, as the platform's own case mapping does it.
std::string ToUpperText(std::string_view text);
std::string ToLowerText(std::string_view text);

// Conversions at the few boundaries that need UTF-16 (COM automation).
std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);
// The text with its environment references (%NAME%) expanded; as it is when the platform cannot expand.
std::string ExpandEnvironment(const std::string& text);

// An ANSI text in UTF-8, for files whose format fixes that encoding.
std::string ToUtf8(std::string_view ansiText);

}  // namespace orlenta
