// Text and path helpers that need no platform call; compiles without windows.h (fuzzed natively).
#include "util/Text.h"
#include "util/modFileExists.h"

namespace orlenta {

std::string TrimSpaces(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string StripNulls(std::string_view text) {
    const auto nul = text.find('\0');
    return std::string(nul == std::string_view::npos ? text : text.substr(0, nul));
}

std::string RemoveTrailingBackslash(std::string_view path) {
    std::string trimmed = TrimSpaces(path);
    if (!trimmed.empty() && trimmed.back() == '\\') {
        trimmed.pop_back();
    }
    return trimmed;
}

std::string AddTrailingBackslash(std::string_view path) {
    std::string trimmed = TrimSpaces(path);
    if (trimmed.empty() || trimmed.back() != '\\') {
        trimmed.push_back('\\');
    }
    return trimmed;
}

}  // namespace orlenta
