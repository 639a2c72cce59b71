// Trimming, NUL cutting and the trailing-backslash pair: what they keep, idempotence, and how
// adding and removing the backslash relate.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "util/Text.h"
#include "util/modFileExists.h"

using namespace orlenta;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::string trimmed = TrimSpaces(text);
    FUZZ_CHECK(text.find(trimmed) != std::string_view::npos);
    FUZZ_CHECK(trimmed.empty() || (trimmed.front() != ' ' && trimmed.back() != ' '));
    FUZZ_CHECK(trimmed.empty() == (text.find_first_not_of(' ') == std::string_view::npos));
    FUZZ_CHECK(TrimSpaces(trimmed) == trimmed);

    const std::string stripped = StripNulls(text);
    FUZZ_CHECK(stripped.find('\0') == std::string::npos);
    FUZZ_CHECK(text.substr(0, stripped.size()) == stripped);
    FUZZ_CHECK(stripped.size() == text.size() || text[stripped.size()] == '\0');

    const std::string added = AddTrailingBackslash(text);
    const std::string removed = RemoveTrailingBackslash(text);
    FUZZ_CHECK(!added.empty() && added.back() == '\\');
    FUZZ_CHECK(added.compare(0, trimmed.size(), trimmed) == 0 && added.size() - trimmed.size() <= 1);
    FUZZ_CHECK(AddTrailingBackslash(added) == added);
    FUZZ_CHECK(trimmed.compare(0, removed.size(), removed) == 0 && trimmed.size() - removed.size() <= 1);
    FUZZ_CHECK(removed.size() == trimmed.size() || trimmed.back() == '\\');
    FUZZ_CHECK(RemoveTrailingBackslash(added) == removed);
    // Removing again changes nothing unless what is left ends in a backslash or a space.
    FUZZ_CHECK(RemoveTrailingBackslash(removed) == removed ||
               (!removed.empty() && (removed.back() == '\\' || removed.back() == ' ')));
    return 0;
}
