// Text helpers shared by every subsystem. The program's texts are std::string in UTF-8; paths and
// platform calls are UTF-16; the ANSI code page is met only at the boundaries that need it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orlenta {

// Removes leading and trailing space characters (U+0020) only; tabs and other white space stay.
std::string TrimSpaces(std::string_view text);

// A duration as people read it: "0.4 s", "42.0 s", "4 min 05 s", "2 h 03 min".
std::string DurationText(double seconds);

// Upper and lower case of a UTF-8 text, as the platform's own case mapping does it.
std::string ToUpperText(std::string_view text);
std::string ToLowerText(std::string_view text);

// UTF-8 and UTF-16; a sequence that is not valid UTF-8 becomes U+FFFD, never a dropped character.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

// The ANSI code page, for the interfaces that are ANSI by contract (the input file, the registry
// class, the catalogue) and for tests that build ANSI bytes. AnsiToWide and AnsiToUtf8 never lose a
// character; a conversion into the code page that would (no character of its own, or only a
// best-fit look-alike such as "L" for "Ł") gives nothing.
std::wstring AnsiToWide(std::string_view text);
std::string AnsiToUtf8(std::string_view text);
std::optional<std::string> WideToAnsiExactly(std::wstring_view text);
std::optional<std::string> Utf8ToAnsiExactly(std::string_view text);
// For display only (a registry name listed, a test's message): characters the code page lacks
// become its default character.
std::string WideToAnsi(std::wstring_view text);

// The text with its environment references (%NAME%) expanded; as it is when the platform cannot
// expand it. The ANSI form is the registry class's.
std::wstring ExpandEnvironment(const std::wstring& text);
std::string ExpandEnvironmentAnsi(const std::string& ansiText);
// Lower case in the ANSI code page, for the catalogue's ANSI names.
std::string ToLowerAnsiText(std::string_view ansiText);

}  // namespace orlenta
