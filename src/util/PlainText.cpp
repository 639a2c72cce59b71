// Text and path helpers that need no platform call; compiles without windows.h (fuzzed natively).
#include "util/Text.h"

#include <cmath>
#include <cstdio>

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

std::string DurationText(double seconds) {
    if (!(seconds >= 0)) {
        seconds = 0;  // a clock that went back, or no figure at all
    }
    if (seconds < 59.95) {
        char text[16];
        std::snprintf(text, sizeof text, "%.1f s", seconds);
        return text;
    }
    const long long whole = std::llround(seconds);
    char text[48];
    if (whole < 3600) {
        std::snprintf(text, sizeof text, "%lld min %02lld s", whole / 60, whole % 60);
    } else {
        const long long minutes = (whole + 30) / 60;
        std::snprintf(text, sizeof text, "%lld h %02lld min", minutes / 60, minutes % 60);
    }
    return text;
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
