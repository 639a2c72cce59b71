// NextToken always shortens what is left and never returns a quote; ParseCommandLine equals a
// fold of NextToken over the option table, whatever the case mapping. The spelling distance is a
// distance, and every spelling of -UNATTENDED within two edits is taken for it. The files of
// -MERGE= are pieces of the value between semicolons, in order, trimmed, none empty.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// Symmetric, zero only between equal texts (no two texts read as the same code points), no more
// than the longer length, no less than the difference of the lengths, and a true distance.
void CheckDistance(const std::string& line) {
    using orlenta::SpellingDistance;
    const std::size_t third = std::min<std::size_t>(line.size() / 3, 200);
    const std::string texts[] = {line.substr(0, third), line.substr(third, third), line.substr(2 * third, third)};
    const std::u32string a = orlenta::CodePointsOf(texts[0]);
    const std::u32string b = orlenta::CodePointsOf(texts[1]);
    const std::u32string c = orlenta::CodePointsOf(texts[2]);
    const std::size_t ab = SpellingDistance(a, b);
    FUZZ_CHECK(ab == SpellingDistance(b, a));
    FUZZ_CHECK((ab == 0) == (texts[0] == texts[1]));
    FUZZ_CHECK(ab <= std::max(a.size(), b.size()));
    FUZZ_CHECK(ab >= std::max(a.size(), b.size()) - std::min(a.size(), b.size()));
    FUZZ_CHECK(SpellingDistance(a, c) <= ab + SpellingDistance(b, c));
}

// One or two letters of -UNATTENDED dropped, doubled, swapped or changed, as the input's bytes say,
// and its dash written as another: always the switch, and no other option ever is.
void CheckUnattendedNeighbourhood(const std::uint8_t* data, std::size_t size) {
    std::string name = "-UNATTENDED";
    const std::size_t edits = size > 0 ? 1 + data[0] % 2 : 0;
    for (std::size_t e = 0; e < edits && 1 + 3 * e + 2 < size && name.size() > 1; ++e) {
        const std::uint8_t kind = data[1 + 3 * e] % 4;
        const std::size_t at = data[2 + 3 * e] % name.size();
        const char letter = static_cast<char>('A' + data[3 + 3 * e] % 26);
        if (kind == 0) {
            name.erase(at, 1);
        } else if (kind == 1) {
            name.insert(at, 1, name[at]);
        } else if (kind == 2 && at + 1 < name.size()) {
            std::swap(name[at], name[at + 1]);
        } else {
            name[at] = letter;
        }
    }
    const char* dashes[] = {"-", "/", "\u2010", "\u2014", "\u2015", "\u2212"};
    const std::string token = name[0] == '-' && size > 7 ? dashes[data[7] % std::size(dashes)] + name.substr(1) : name;
    FUZZ_CHECK(orlenta::IsNearlyUnattendedSwitch(token));
    FUZZ_CHECK(orlenta::IsNearlyUnattendedSwitch(token + "=" + std::string(reinterpret_cast<const char*>(data), size)));
    for (const std::string_view option : orlenta::CommandLineOptionNames()) {
        FUZZ_CHECK(orlenta::IsNearlyUnattendedSwitch(option) == (option == "-UNATTENDED"));
    }
}

void CheckMergeFiles(const std::string& value) {
    std::size_t from = 0;
    const std::vector<std::string> files = orlenta::MergeFileList(value);
    for (const std::string& file : files) {
        FUZZ_CHECK(!file.empty() && file.front() != ' ' && file.back() != ' ');
        FUZZ_CHECK(file.find(';') == std::string::npos);
        from = value.find(file, from);
        FUZZ_CHECK(from != std::string::npos);
        from += file.size();
    }
    FUZZ_CHECK(files.size() <= static_cast<std::size_t>(std::count(value.begin(), value.end(), ';')) + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckUnattendedNeighbourhood(data, size);
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
    CheckDistance(line);
    CheckMergeFiles(line);
    return 0;
}
