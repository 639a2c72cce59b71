// Cutting the raw command line into tokens and applying its options; compiles without windows.h.
#include "frontend/CommandLine.h"

#include <algorithm>
#include <array>
#include <map>

#include "util/Text.h"

namespace orlenta {

namespace {

enum class Option {
    kAutoStart,
    kAVEFolder,
    kInstallationFolder,
    kTestingFolder,
    kStartIndex,
    kStopIndex,
    kPassTimeLimit,
    kUnattended,
    kLogFile,
    kJUnitFile,
    kAveList,
    kRerunFile,
    kShard,
    kRetries,
    kTimings,
    kHistoryFile,
    kReportFile,
    kMergeFiles,
};

struct OptionName {
    const char* name;
    Option option;
};

// Tested in this order; the first name found anywhere in the upper-cased token decides.
constexpr std::array<OptionName, 18> kOptions = {{
    {"-AUTOSTART", Option::kAutoStart},
    {"-AVE=", Option::kAVEFolder},
    {"-KAVRO=", Option::kInstallationFolder},
    {"-TESTING=", Option::kTestingFolder},
    {"-START=", Option::kStartIndex},
    {"-STOP=", Option::kStopIndex},
    {"-TIMEOUT=", Option::kPassTimeLimit},
    {"-UNATTENDED", Option::kUnattended},
    {"-LOG=", Option::kLogFile},
    {"-JUNIT=", Option::kJUnitFile},
    {"-AVES=", Option::kAveList},
    {"-RERUN=", Option::kRerunFile},
    {"-SHARD=", Option::kShard},
    {"-HISTORY=", Option::kHistoryFile},
    {"-REPORT=", Option::kReportFile},
    {"-RETRY=", Option::kRetries},
    {"-TIMINGS=", Option::kTimings},
    {"-MERGE=", Option::kMergeFiles},
}};

std::string* FieldFor(Option option, RunSettings& settings) {
    switch (option) {
        case Option::kAVEFolder: return &settings.AVEFolder;
        case Option::kInstallationFolder: return &settings.InstallationFolder;
        case Option::kTestingFolder: return &settings.TestingFolder;
        case Option::kStartIndex: return &settings.StartIndex;
        case Option::kStopIndex: return &settings.StopIndex;
        case Option::kPassTimeLimit: return &settings.Nightly.PassTimeLimit;
        case Option::kLogFile: return &settings.Nightly.LogFile;
        case Option::kJUnitFile: return &settings.Nightly.JUnitFile;
        case Option::kAveList: return &settings.Nightly.AveList;
        case Option::kRerunFile: return &settings.Nightly.RerunFile;
        case Option::kShard: return &settings.Nightly.Shard;
        case Option::kRetries: return &settings.Nightly.Retries;
        case Option::kTimings: return &settings.Nightly.TimingsFile;
        case Option::kHistoryFile: return &settings.Nightly.HistoryFile;
        case Option::kReportFile: return &settings.Nightly.ReportFile;
        case Option::kMergeFiles: return &settings.Nightly.MergeFiles;
        case Option::kAutoStart:
        case Option::kUnattended: break;
    }
    return nullptr;
}

// The token with every occurrence of the option name removed, letters of any case.
std::string RemoveName(const std::string& token, const std::string& upperToken, std::string_view name) {
    std::string value;
    size_t from = 0;
    for (size_t at = upperToken.find(name); at != std::string::npos; at = upperToken.find(name, from)) {
        value.append(token, from, at - from);
        from = at + name.size();
    }
    value.append(token, from, std::string::npos);
    return value;
}

}  // namespace

std::string NextToken(std::string& rest) {
    rest = TrimSpaces(rest);
    std::string token;
    size_t pos = 0;
    for (;;) {
        const size_t stop = rest.find_first_of(" \"", pos);
        if (stop == std::string::npos) {
            token.append(rest, pos, std::string::npos);
            rest.clear();
            return token;
        }
        token.append(rest, pos, stop - pos);
        if (rest[stop] == ' ') {
            rest = TrimSpaces(std::string_view(rest).substr(stop + 1));
            return token;
        }
        const size_t close = rest.find('"', stop + 1);
        if (close == std::string::npos) {
            // An unclosed quote takes in the rest of the line, spaces included.
            token.append(rest, stop + 1, std::string::npos);
            rest.clear();
            return token;
        }
        token.append(rest, stop + 1, close - stop - 1);
        pos = close + 1;
    }
}

bool ParseCommandLine(std::string_view commandLine, RunSettings& settings, UpperCaseInPlace toUpper) {
    bool autoStart = false;
    std::string rest = TrimSpaces(commandLine);
    while (!rest.empty()) {
        const std::string token = NextToken(rest);
        std::string upper = token;
        toUpper(upper.data(), upper.size());
        for (const OptionName& entry : kOptions) {
            if (upper.find(entry.name) == std::string::npos) {
                continue;
            }
            if (entry.option == Option::kAutoStart) {
                autoStart = true;
            } else if (entry.option == Option::kUnattended) {
                // Nobody is there to press Start.
                settings.Nightly.Unattended = true;
                autoStart = true;
            } else {
                *FieldFor(entry.option, settings) = RemoveName(token, upper, entry.name);
            }
            break;
        }
    }
    return autoStart;
}

std::vector<std::string> MergeFileList(std::string_view value) {
    std::vector<std::string> files;
    for (size_t from = 0; from <= value.size();) {
        const size_t end = std::min(value.find(';', from), value.size());
        std::string file = TrimSpaces(value.substr(from, end - from));
        if (!file.empty()) {
            files.push_back(std::move(file));
        }
        from = end + 1;
    }
    return files;
}

std::vector<std::string_view> CommandLineOptionNames() {
    std::vector<std::string_view> names;
    for (const OptionName& entry : kOptions) {
        names.push_back(entry.name);
    }
    return names;
}

std::string CommandLineWithoutProgramName(std::string_view fullCommandLine) {
    size_t end = 0;
    if (!fullCommandLine.empty() && fullCommandLine[0] == '"') {
        // A quoted program name runs to the next quote.
        const size_t close = fullCommandLine.find('"', 1);
        end = close == std::string_view::npos ? fullCommandLine.size() : close + 1;
    } else {
        // An unquoted one runs to the first space or tab.
        end = fullCommandLine.find_first_of(" \t");
        if (end == std::string_view::npos) {
            end = fullCommandLine.size();
        }
    }
    // The one separator after the name belongs to neither.
    if (end < fullCommandLine.size() && (fullCommandLine[end] == ' ' || fullCommandLine[end] == '\t')) {
        ++end;
    }
    return std::string(fullCommandLine.substr(end));
}

std::u32string CodePointsOf(std::string_view utf8) {
    std::u32string points;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80            ? 1
                                   : (lead >> 5) == 0x06 ? 2
                                   : (lead >> 4) == 0x0E ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        // The lead byte's own bits: 7, 5, 4 or 3 of them.
        char32_t point = lead & (0xFFu >> (length + (length > 1 ? 1 : 0)));
        bool valid = length != 0 && i + length <= utf8.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            valid = (next & 0xC0) == 0x80;
            point = (point << 6) | (next & 0x3F);
        }
        // Over-long forms and surrogates are no characters of their own.
        constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && point >= kLeast[length] && point <= 0x10FFFF && (point < 0xD800 || point > 0xDFFF);
        points += valid ? point : static_cast<char32_t>(0xDC00 + lead);
        i += valid ? length : 1;
    }
    return points;
}

std::size_t SpellingDistance(std::u32string_view a, std::u32string_view b) {
    // The unrestricted form (Lowrance and Wagner), so that it is a true distance: letters swapped and
    // then another put between them are two edits, not three.
    const std::size_t width = b.size() + 2;
    const std::size_t far = a.size() + b.size();
    std::vector<std::size_t> table((a.size() + 2) * width, far);
    const auto at = [&](std::size_t i, std::size_t j) -> std::size_t& { return table[i * width + j]; };
    for (std::size_t i = 0; i <= a.size(); ++i) {
        at(i + 1, 1) = i;
    }
    for (std::size_t j = 0; j <= b.size(); ++j) {
        at(1, j + 1) = j;
    }
    // For each character, the last row of `a` where it stood.
    std::map<char32_t, std::size_t> lastRow;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t lastMatch = 0;  // the last column of this row where the characters agreed
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const auto found = lastRow.find(b[j - 1]);
            const std::size_t k = found == lastRow.end() ? 0 : found->second;
            const std::size_t l = lastMatch;
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            if (change == 0) {
                lastMatch = j;
            }
            at(i + 1, j + 1) = std::min({at(i, j) + change, at(i + 1, j) + 1, at(i, j + 1) + 1,
                                         at(k, l) + (i - k - 1) + 1 + (j - l - 1)});
        }
        lastRow[a[i - 1]] = i;
    }
    return at(a.size() + 1, b.size() + 1);
}

bool IsNearlyUnattendedSwitch(std::string_view upperToken) {
    constexpr std::u32string_view kSwitch = U"-UNATTENDED";
    constexpr std::size_t kMostEdits = 2;
    std::u32string name = CodePointsOf(upperToken.substr(0, upperToken.find('=')));
    const bool dash = !name.empty() && (name[0] == U'/' || (name[0] >= U'\u2010' && name[0] <= U'\u2015') ||
                                        name[0] == U'\u2212');
    if (dash) {
        name[0] = U'-';
    }
    // Far longer or shorter names cannot be near, and are not worth the table.
    if (name.size() > kSwitch.size() + kMostEdits || name.size() + kMostEdits < kSwitch.size()) {
        return false;
    }
    return SpellingDistance(name, kSwitch) <= kMostEdits;
}

}  // namespace orlenta
