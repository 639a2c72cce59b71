// CommandLineWithoutProgramName drops exactly the program's name, as Windows delimits it, and at
// most one separator after it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "frontend/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view full(reinterpret_cast<const char*>(data), size);
    const std::string rest = orlenta::CommandLineWithoutProgramName(full);

    FUZZ_CHECK(rest.size() <= full.size());
    FUZZ_CHECK(full.substr(full.size() - rest.size()) == rest);
    std::string_view name = full.substr(0, full.size() - rest.size());
    const auto isSeparator = [](char c) { return c == ' ' || c == '\t'; };
    const bool separated = !name.empty() && isSeparator(name.back()) && (name.size() > 1 || full[0] != '"');
    if (separated) name.remove_suffix(1);

    if (!full.empty() && full[0] == '"') {
        // A quoted name holds no quote but its own two, the closing one last if it has one.
        const std::size_t close = name.find('"', 1);
        FUZZ_CHECK(close == std::string_view::npos ? rest.empty() : close == name.size() - 1);
    } else {
        FUZZ_CHECK(name.find_first_of(" \t") == std::string_view::npos);
        // Only the end of the line or a separator ends an unquoted name.
        FUZZ_CHECK(rest.empty() || separated);
    }
    // A quoted name followed by text not separated from it leaves that text whole.
    FUZZ_CHECK(separated || rest.empty() || !isSeparator(rest[0]) || full[0] != '"');
    return 0;
}
