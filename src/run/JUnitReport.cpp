// The passes of a run as JUnit XML, the format every CI server reads.
#include "run/JUnitReport.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "run/AveChoice.h"
#include "run/RunLog.h"
#include "run/RunValues.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Handles.h"
#include "util/LongPath.h"
#include "util/Text.h"
#include "util/WholeFile.h"

namespace orlenta {

namespace {

// Text for an attribute or an element, with the characters XML reserves written as references and
// the control characters XML 1.0 forbids replaced.
std::string Xml(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            case '\'': escaped += "&apos;"; break;
            case '\t': escaped += "&#9;"; break;
            case '\n': escaped += "&#10;"; break;
            case '\r': escaped += "&#13;"; break;
            default: escaped += (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
        }
    }
    return escaped;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

std::string Property(const std::string& name, const std::string& value) {
    return "    <property name=\"" + Xml(name) + "\" value=\"" + Xml(value) + "\"/>\n";
}

// What a CI server shows beside the testcase: the processes the pass left running, and the pictures
// of its windows in the form JUnit readers attach files.
std::string SystemOut(const PassRecord& pass) {
    std::vector<std::string> lines;
    if (!pass.LeftRunning.empty()) {
        lines.push_back(LeftRunningText(pass));
    }
    for (const std::string& picture : pass.Pictures) {
        if (picture.empty()) {
            continue;
        }
        lines.push_back("[[ATTACHMENT|" + picture + "]]");
    }
    return JoinedWith(lines, "\n");
}

std::string TestCase(const PassRecord& pass) {
    std::string xml = "  <testcase classname=\"AVE\" name=\"" + Xml(AveName(pass.AveNumber)) + "\" time=\"" +
                      Seconds(pass.Seconds) + "\"";
    const std::string out = SystemOut(pass);
    if (pass.Passed() && out.empty()) {
        return xml + "/>\n";
    }
    xml += ">\n";
    if (!pass.Passed()) {
        const std::string element = pass.Outcome == PassOutcome::Exited ? "failure" : "error";
        xml += "    <" + element + " message=\"" + Xml(OutcomeText(pass)) + "\"";
        // A hung pass's error says what it was showing when it was ended.
        xml += pass.Windows.empty() ? "/>\n" : ">" + Xml(JoinedWith(pass.Windows, "\n")) + "</" + element + ">\n";
    }
    if (!out.empty()) {
        xml += "    <system-out>" + Xml(out) + "</system-out>\n";
    }
    return xml + "  </testcase>\n";
}

constexpr const char* kSuiteClosing = "</testsuite>\n";
constexpr const char* kCountsStart = "tests=\"";
// The counts and the total time, padded with spaces to this width (space between attributes is
// XML's own), so the file's tail can change them in place.
constexpr size_t kCountsWidth = 120;

std::string SuiteCounts(std::int64_t tests, std::int64_t failures, std::int64_t errors, std::int64_t skipped,
                        double seconds) {
    std::string counts = "tests=\"" + std::to_string(tests) + "\" failures=\"" + std::to_string(failures) +
                         "\" errors=\"" + std::to_string(errors) + "\" skipped=\"" + std::to_string(skipped) +
                         "\" time=\"" + Seconds(seconds) + "\"";
    counts.append(counts.size() < kCountsWidth ? kCountsWidth - counts.size() : 0, ' ');
    return counts;
}

bool IsFailure(const PassRecord& pass) { return pass.Outcome == PassOutcome::Exited && pass.ExitCode != 0; }
bool IsError(const PassRecord& pass) { return pass.Outcome != PassOutcome::Exited; }

std::string Skipped(const std::string& name, const std::string& message) {
    return "  <testcase classname=\"AVE\" name=\"" + Xml(name) + "\" time=\"0.000\">\n    <skipped message=\"" +
           Xml(message) + "\"/>\n  </testcase>\n";
}

constexpr const char* kSuiteOpening = "<testsuite name=\"Orlenta\" ";
constexpr const char* kShardSuiteOpening = "<testsuite name=\"Orlenta shard ";

}  // namespace

bool IsOrlentaJUnitText(const std::string& text) {
    const size_t suite = text.find("<testsuite");
    const auto opens = [&](const std::string& opening) { return text.compare(suite, opening.size(), opening) == 0; };
    return suite != std::string::npos && (opens(kSuiteOpening) || opens(kShardSuiteOpening));
}

std::string JUnitXml(const RunSettings& settings, const SYSTEMTIME& started, const std::string& hostName,
                     const std::vector<PassRecord>& passes, const RunEnding& ending) {
    std::int64_t failures = 0;
    std::int64_t errors = 0;
    std::int64_t tests = static_cast<std::int64_t>(passes.size());
    std::int64_t skipped = 0;
    double total = 0;
    std::string cases;
    for (const PassRecord& pass : passes) {
        failures += IsFailure(pass) ? 1 : 0;
        errors += IsError(pass) ? 1 : 0;
        total += pass.Seconds;
        cases += TestCase(pass);
    }
    if (!ending.Failure.empty()) {
        ++tests;
        ++errors;
        cases += "  <testcase classname=\"Orlenta\" name=\"run\" time=\"" + Seconds(total) +
                 "\">\n    <error message=\"" + Xml(ending.Failure) + "\">" + Xml(ending.Message) +
                 "</error>\n  </testcase>\n";
    }
    const std::int64_t notRun = std::max<std::int64_t>(0, ending.Planned.Count() - ending.FirstNotRun);
    const std::int64_t listed = std::min(notRun, kListedNotRun);
    for (std::int64_t i = 0; i < listed; ++i) {
        cases += Skipped(AveName(ending.Planned.At(ending.FirstNotRun + i)), "not run");
    }
    if (notRun > listed) {
        const std::int64_t more = notRun - listed;
        cases += Skipped(AveName(ending.Planned.At(ending.FirstNotRun + listed)) + " to " +
                             AveName(ending.Planned.At(ending.Planned.Count() - 1)),
                         std::to_string(more) + " more AVEs not run");
    }
    skipped = listed + (notRun > listed ? 1 : 0);
    tests += skipped;
    // Each shard's suite has a name of its own, so a CI server that merges them keeps them apart.
    const auto shard = ReadShard(settings.Nightly.Shard);
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" +
                      (shard ? kShardSuiteOpening + ShardText(*shard) + "\" " : std::string(kSuiteOpening)) +
                      SuiteCounts(tests, failures, errors, skipped, total) + " timestamp=\"" + IsoLocalTime(started) +
                      "\" hostname=\"" + Xml(hostName) + "\">\n";
    xml += "  <properties>\n";
    xml += Property("AVE folder", settings.AVEFolder);
    xml += Property("installation folder", settings.InstallationFolder);
    xml += Property("testing folder", settings.TestingFolder);
    for (size_t k = 0; k < settings.AVEFilter.size(); ++k) {
        xml += Property(kAnalysisTypeCaptions[k], settings.AVEFilter[k] ? "True" : "False");
    }
    if (shard) {
        xml += Property("shard", ShardText(*shard));
    }
    xml += "  </properties>\n";
    return xml + cases + kSuiteClosing;
}

void WriteJUnitReport(const std::wstring& path, const RunSettings& settings, const SYSTEMTIME& started,
                      const std::vector<PassRecord>& passes, const RunEnding& ending, unsigned long patienceMs) {
    wchar_t host[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD hostLength = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(host, &hostLength)) {
        hostLength = 0;
    }
    ReplaceWholeFile(path, JUnitXml(settings, started, WideToUtf8(std::wstring_view(host, hostLength)), passes, ending),
                     patienceMs);
}

namespace {

FileHandle OpenForAdding(const std::wstring& path) {
    FileHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file) {
        throw AppError::FromLastError();
    }
    return file;
}

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

std::string ReadAt(const FileHandle& file, std::uint64_t offset, size_t size) {
    std::string bytes(size, '\0');
    OVERLAPPED at = At(offset);
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(size), &read, &at)) {
        throw AppError::FromLastError();
    }
    bytes.resize(read);
    return bytes;
}

void WriteAt(const FileHandle& file, std::uint64_t offset, const std::string& bytes) {
    OVERLAPPED at = At(offset);
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, &at)) {
        throw AppError::FromLastError();
    }
    if (written != bytes.size()) {
        throw AppError::FromWin32(ERROR_DISK_FULL, ProgramName());
    }
}

[[noreturn]] void RaiseChanged() {
    throw AppError(error_number::kInvalidArgument, ProgramName(), "the JUnit file is not as it was written");
}

}  // namespace

JUnitAppender::JUnitAppender(std::wstring path, const std::vector<PassRecord>& passes) : path_(std::move(path)) {
    for (const PassRecord& pass : passes) {
        ++tests_;
        failures_ += IsFailure(pass) ? 1 : 0;
        errors_ += IsError(pass) ? 1 : 0;
        seconds_ += pass.Seconds;
    }
    const FileHandle file = OpenForAdding(path_);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) {
        throw AppError::FromLastError();
    }
    const std::string closing = kSuiteClosing;
    if (static_cast<std::uint64_t>(size.QuadPart) < closing.size()) {
        RaiseChanged();
    }
    closingAt_ = static_cast<std::uint64_t>(size.QuadPart) - closing.size();
    const std::string head = ReadAt(file, 0, 4096);
    const size_t counts = head.find(kCountsStart, head.find("<testsuite "));
    if (ReadAt(file, closingAt_, closing.size()) != closing || counts == std::string::npos ||
        head.compare(counts, kCountsWidth, SuiteCounts(tests_, failures_, errors_, 0, seconds_)) != 0) {
        RaiseChanged();
    }
    countsAt_ = counts;
}

void JUnitAppender::Append(const PassRecord& pass) {
    const std::string counts = SuiteCounts(tests_ + 1, failures_ + (IsFailure(pass) ? 1 : 0),
                                           errors_ + (IsError(pass) ? 1 : 0), 0, seconds_ + pass.Seconds);
    if (counts.size() != kCountsWidth) {
        throw AppError(error_number::kOverflow, ProgramName(), "the JUnit counts outgrew their place");
    }
    const FileHandle file = OpenForAdding(path_);
    // Someone may have replaced or changed the file since the last pass: then it is written whole.
    const std::string closing = kSuiteClosing;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) != closingAt_ + closing.size() ||
        ReadAt(file, closingAt_, closing.size()) != closing) {
        RaiseChanged();
    }
    const std::string testcase = TestCase(pass);
    WriteAt(file, closingAt_, testcase + closing);
    closingAt_ += testcase.size();
    ++tests_;
    failures_ += IsFailure(pass) ? 1 : 0;
    errors_ += IsError(pass) ? 1 : 0;
    seconds_ += pass.Seconds;
    WriteAt(file, countsAt_, counts);
}

}  // namespace orlenta
