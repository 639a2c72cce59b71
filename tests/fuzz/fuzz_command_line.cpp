// NextToken always shortens what is left and never returns a quote; ParseCommandLine equals a
// fold of NextToken over the option table, whatever the case mapping.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "frontend/CommandLine.h"

namespace {

void UpperAscii(char* text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
    }
}

// A single-byte code page whose mapping also turns a non-ASCII byte into an ASCII letter
// (as a Turkish dotless i becomes I) and an ASCII letter into a non-ASCII byte.
void UpperTurkishLike(char* text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 'i') text[i] = static_cast<char>(0xDD);
        else if (c == 0xFD) text[i] = 'I';
        else if (c >= 0xE0 && c != 0xF7) text[i] = static_cast<char>(c - 0x20);
        else UpperAscii(text + i, 1);
    }
}

// Every occurrence of `name` in `upper`, scanning left to right, dropped from `token`.
std::string WithoutName(const std::string& token, const std::string& upper, const std::string& name) {
    std::string value;
    for (std::size_t i = 0; i < token.size();) {
        if (upper.compare(i, name.size(), name) == 0) {
            i += name.size();
        } else {
            value += token[i++];
        }
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const orlenta::UpperCaseInPlace toUpper = (data[0] & 1) ? UpperTurkishLike : UpperAscii;
    const std::string line(reinterpret_cast<const char*>(data) + 1, size - 1);

    orlenta::RunSettings expected{"ave", "kavro", "testing", "start", "stop", {}, {}};
    orlenta::RunSettings actual = expected;
    // Null where the option is a flag rather than a value.
    std::string* const fields[] = {nullptr,
                                   &expected.AVEFolder,
                                   &expected.InstallationFolder,
                                   &expected.TestingFolder,
                                   &expected.StartIndex,
                                   &expected.StopIndex,
                                   &expected.Nightly.PassTimeLimit,
                                   nullptr,
                                   &expected.Nightly.LogFile,
                                   &expected.Nightly.JUnitFile};
    const std::string names[] = {"-AUTOSTART", "-AVE=",     "-KAVRO=", "-TESTING=", "-START=",
                                 "-STOP=",     "-TIMEOUT=", "-UNATTENDED", "-LOG=", "-JUNIT="};
    bool autoStart = false;

    std::string rest = line;
    while (!rest.empty()) {
        const std::string before = rest;
        const std::string token = orlenta::NextToken(rest);
        FUZZ_CHECK(rest.size() < before.size());
        FUZZ_CHECK(token.size() + rest.size() <= before.size());
        FUZZ_CHECK(token.find('"') == std::string::npos);
        FUZZ_CHECK(rest.empty() || (rest.front() != ' ' && rest.back() != ' '));
        // A space inside a token can only have come from a quoted stretch.
        FUZZ_CHECK(token.find(' ') == std::string::npos || before.find('"') != std::string::npos);

        std::string upper = token;
        toUpper(upper.data(), upper.size());
        for (std::size_t n = 0; n < std::size(names); ++n) {
            if (upper.find(names[n]) == std::string::npos) continue;
            if (fields[n] != nullptr) {
                *fields[n] = WithoutName(token, upper, names[n]);
            } else {
                autoStart = true;  // -UNATTENDED implies the automatic start
                expected.Nightly.Unattended = expected.Nightly.Unattended || n == 7;
            }
            break;
        }
    }

    FUZZ_CHECK(orlenta::ParseCommandLine(line, actual, toUpper) == autoStart);
    FUZZ_CHECK(actual.AVEFolder == expected.AVEFolder);
    FUZZ_CHECK(actual.InstallationFolder == expected.InstallationFolder);
    FUZZ_CHECK(actual.TestingFolder == expected.TestingFolder);
    FUZZ_CHECK(actual.StartIndex == expected.StartIndex);
    FUZZ_CHECK(actual.StopIndex == expected.StopIndex);
    FUZZ_CHECK(actual.Nightly.PassTimeLimit == expected.Nightly.PassTimeLimit);
    FUZZ_CHECK(actual.Nightly.Unattended == expected.Nightly.Unattended);
    FUZZ_CHECK(actual.Nightly.LogFile == expected.Nightly.LogFile);
    FUZZ_CHECK(actual.Nightly.JUnitFile == expected.Nightly.JUnitFile);
    return 0;
}
