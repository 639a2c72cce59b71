// Cutting the raw command line into tokens and applying its options; compiles without windows.h.
#include "frontend/CommandLine.h"

#include <array>

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
    kHistoryFile,
    kReportFile,
};

struct OptionName {
    const char* name;
    Option option;
};

// Tested in this order; the first name found anywhere in the upper-cased token decides.
constexpr std::array<OptionName, 15> kOptions = {{
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
        case Option::kHistoryFile: return &settings.Nightly.HistoryFile;
        case Option::kReportFile: return &settings.Nightly.ReportFile;
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

}  // namespace orlenta
