// The passes of a run as JUnit XML, the format every CI server reads.
#include "run/JUnitReport.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
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

// The time of every attempt of an AVE: what it cost the night.
double AllSeconds(const PassRecord& pass) {
    double seconds = pass.Seconds;
    for (const PassRecord& earlier : pass.EarlierAttempts) {
        seconds += earlier.Seconds;
    }
    return seconds;
}

// An AVE's testcase from its last attempt. An AVE that passed on a retry is flaky: no failure, one
// flakyFailure per failed attempt, as CI servers' JUnit readers take them (a pass); one that failed
// every attempt is a failure that lists them all.
std::string TestCase(const PassRecord& pass) {
    std::string xml = "  <testcase classname=\"AVE\" name=\"" + Xml(AveName(pass.AveNumber)) + "\" time=\"" +
                      Seconds(AllSeconds(pass)) + "\"";
    std::string out = SystemOut(pass);
    if (pass.Flaky()) {
        out = "Passed on attempt " + std::to_string(pass.Attempt) + " of " + std::to_string(pass.Attempt) + "." +
              (out.empty() ? "" : "\n" + out);
    }
    if (pass.Passed() && out.empty()) {
        return xml + "/>\n";
    }
    xml += ">\n";
    if (!pass.Passed()) {
        const std::string element = pass.Outcome == PassOutcome::Exited ? "failure" : "error";
        const std::string message = pass.EarlierAttempts.empty() ? OutcomeText(pass) : AttemptsText(pass);
        xml += "    <" + element + " message=\"" + Xml(message) + "\"";
        // A hung pass's error says what it was showing when it was ended.
        xml += pass.Windows.empty() ? "/>\n" : ">" + Xml(JoinedWith(pass.Windows, "\n")) + "</" + element + ">\n";
    }
    for (const PassRecord& earlier : pass.Flaky() ? pass.EarlierAttempts : std::vector<PassRecord>{}) {
        xml += "    <flakyFailure message=\"" + Xml("attempt " + std::to_string(earlier.Attempt) + ": " + OutcomeText(earlier)) +
               "\" type=\"" + (earlier.Outcome == PassOutcome::Exited ? "exit code" : "could not start") + "\"/>\n";
    }
    if (!out.empty()) {
        xml += "    <system-out>" + Xml(out) + "</system-out>\n";
    }
    return xml + "  </testcase>\n";
}

constexpr const char* kSuiteClosing = "</testsuite>\n";
// The counts and the total time, padded with spaces to this width (space between attributes is
// XML's own), so that later writes can change them in place.
constexpr size_t kCountsWidth = 120;

bool IsFailure(const PassRecord& pass) { return pass.Outcome == PassOutcome::Exited && pass.ExitCode != 0; }
bool IsError(const PassRecord& pass) { return pass.Outcome != PassOutcome::Exited; }

std::string SuiteCounts(const JUnitCounts& counts) {
    std::string text = "tests=\"" + std::to_string(counts.tests) + "\" failures=\"" + std::to_string(counts.failures) +
                       "\" errors=\"" + std::to_string(counts.errors) + "\" skipped=\"" +
                       std::to_string(counts.skipped) + "\" time=\"" + Seconds(counts.seconds) + "\"";
    text.append(text.size() < kCountsWidth ? kCountsWidth - text.size() : 0, ' ');
    return text;
}

std::string Skipped(const std::string& name, const std::string& message, const std::string& out = {}) {
    return "  <testcase classname=\"AVE\" name=\"" + Xml(name) + "\" time=\"0.000\">\n    <skipped message=\"" +
           Xml(message) + "\"/>\n" + (out.empty() ? "" : "    <system-out>" + Xml(out) + "</system-out>\n") +
           "  </testcase>\n";
}

// The live tail: the passes not final yet, the run's own testcase, the AVEs not run; `counts` (of
// the settled passes) grows by what it holds.
std::string TailXml(const JUnitTail& tail, JUnitCounts& counts) {
    std::string xml;
    for (const PassRecord& pass : tail.Pending) {
        counts.Add(pass);
        xml += TestCase(pass);
    }
    if (!tail.Ended || !tail.Failure.empty()) {
        ++counts.tests;
        ++counts.errors;
        const std::string text = tail.Ended ? tail.Message
                                            : "The run was killed, or is still going on: it has not written its end.";
        xml += "  <testcase classname=\"Orlenta\" name=\"run\" time=\"" + Seconds(counts.seconds) +
               "\">\n    <error message=\"" + Xml(tail.Ended ? tail.Failure : kRunDidNotFinish) + "\">" + Xml(text) +
               "</error>\n  </testcase>\n";
    }
    const AveSelection& planned = tail.Planned;
    const std::int64_t notRun = std::max<std::int64_t>(0, planned.Count() - tail.FirstNotRun);
    const std::int64_t listed = std::min(notRun, kListedNotRun);
    for (std::int64_t i = 0; i < listed; ++i) {
        xml += Skipped(AveName(planned.At(tail.FirstNotRun + i)), "not run");
    }
    if (notRun > listed) {
        // The exact AVEs, so that a rerun takes them whatever list or shard they came from.
        const std::int64_t from = tail.FirstNotRun + listed;
        xml += Skipped(AveName(planned.At(from)) + " to " + AveName(planned.At(planned.Count() - 1)),
                       std::to_string(notRun - listed) + " more AVEs not run", AveListText(planned, from).value_or(""));
    }
    counts.skipped += listed + (notRun > listed ? 1 : 0);
    counts.tests += listed + (notRun > listed ? 1 : 0);
    return xml;
}

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
// Names the program and the file's format, so that no other program's file passes for one of ours.
constexpr const char* kMarker = "<!-- Orlenta JUnit results, format ";
constexpr const char* kFormat = "2 -->\n";
constexpr const char* kSuiteOpening = "<testsuite name=\"Orlenta\" ";
constexpr const char* kShardSuiteOpening = "<testsuite name=\"Orlenta shard ";

// The whole file, with the places its later writes need.
struct Composed {
    std::string xml;
    JUnitCounts settled;
    size_t countsAt = 0;
    size_t tailAt = 0;
    size_t closingAt = 0;
};

Composed Compose(const RunSettings& settings, const SYSTEMTIME& started, const std::string& hostName,
                 const std::vector<PassRecord>& settled, const JUnitTail& tail) {
    Composed composed;
    std::string passes;
    for (const PassRecord& pass : settled) {
        composed.settled.Add(pass);
        passes += TestCase(pass);
    }
    JUnitCounts all = composed.settled;
    const std::string tailXml = TailXml(tail, all);
    // Each shard's suite has a name of its own, so a CI server that merges them keeps them apart.
    const auto shard = ReadShard(settings.Nightly.Shard);
    std::string& xml = composed.xml;
    xml = std::string(kDeclaration) + kMarker + kFormat +
          (shard ? kShardSuiteOpening + ShardText(*shard) + "\" " : std::string(kSuiteOpening));
    composed.countsAt = xml.size();
    xml += SuiteCounts(all) + " timestamp=\"" + IsoLocalTime(started) + "\" hostname=\"" + Xml(hostName) + "\">\n";
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
    // With retries, how many AVEs passed only on a retry.
    if (RetriesOf(settings.Nightly.Retries).value_or(0) > 0) {
        xml += Property("flaky", std::to_string(std::count_if(settled.begin(), settled.end(),
                                                              [](const PassRecord& pass) { return pass.Flaky(); })));
    }
    xml += "  </properties>\n" + passes;
    composed.tailAt = xml.size();
    xml += tailXml;
    composed.closingAt = xml.size();
    xml += kSuiteClosing;
    return composed;
}

std::string HostName() {
    wchar_t host[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD hostLength = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(host, &hostLength)) {
        hostLength = 0;
    }
    return WideToUtf8(std::wstring_view(host, hostLength));
}

}  // namespace

bool IsOrlentaJUnitText(const std::string& text) {
    const std::string_view view(text);
    const std::string_view declaration(kDeclaration);
    if (view.substr(0, declaration.size()) != declaration) {
        return false;
    }
    const std::string_view rest = view.substr(declaration.size());
    for (const std::string_view opening : {kMarker, kSuiteOpening, kShardSuiteOpening}) {
        if (rest.substr(0, opening.size()) == opening) {
            return true;
        }
    }
    return false;
}

std::string JUnitXml(const RunSettings& settings, const SYSTEMTIME& started, const std::string& hostName,
                     const std::vector<PassRecord>& settled, const JUnitTail& tail) {
    return Compose(settings, started, hostName, settled, tail).xml;
}

void JUnitCounts::Add(const PassRecord& pass) {
    ++tests;
    failures += IsFailure(pass) ? 1 : 0;
    errors += IsError(pass) ? 1 : 0;
    seconds += AllSeconds(pass);
}

namespace {

FileHandle OpenForWriting(const std::wstring& path) {
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

// Enough of the tail's beginning to tell that nobody wrote there since.
constexpr size_t kTailCheck = 64;

}  // namespace

JUnitReport::JUnitReport(std::wstring path, const RunSettings& settings, const SYSTEMTIME& started)
    : path_(std::move(path)), settings_(settings), started_(started), hostName_(HostName()) {}

void JUnitReport::WriteWhole(const std::vector<PassRecord>& settled, const JUnitTail& tail, unsigned long patienceMs) {
    live_ = false;
    const Composed composed = Compose(settings_, started_, hostName_, settled, tail);
    ReplaceWholeFile(path_, composed.xml, patienceMs);
    settled_ = composed.settled;
    countsAt_ = composed.countsAt;
    tailAt_ = composed.tailAt;
    tailStart_ = composed.xml.substr(composed.tailAt, kTailCheck);
    closingAt_ = composed.closingAt;
    end_ = composed.xml.size();
    live_ = true;
}

void JUnitReport::Update(const std::vector<PassRecord>& newlySettled, const JUnitTail& tail) {
    if (!live_) {
        RaiseChanged();
    }
    JUnitCounts settled = settled_;
    std::string bytes;
    for (const PassRecord& pass : newlySettled) {
        settled.Add(pass);
        bytes += TestCase(pass);
    }
    const size_t added = bytes.size();
    JUnitCounts all = settled;
    bytes += TailXml(tail, all);
    const size_t closing = bytes.size();
    bytes += kSuiteClosing;
    const std::string counts = SuiteCounts(all);
    if (counts.size() != kCountsWidth) {
        throw AppError(error_number::kOverflow, ProgramName(), "the JUnit counts outgrew their place");
    }
    const FileHandle file = OpenForWriting(path_);
    // Someone may have replaced or changed the file since the last write: then it is written whole.
    const std::string closingTag = kSuiteClosing;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) != end_ ||
        ReadAt(file, tailAt_, tailStart_.size()) != tailStart_ ||
        ReadAt(file, closingAt_, closingTag.size()) != closingTag) {
        RaiseChanged();
    }
    // A shorter tail leaves white space after the suite, which XML allows, so the one write leaves
    // no end of an older tail behind; the file never shrinks before the run's last, whole write.
    const std::uint64_t written = tailAt_ + bytes.size();
    if (written < end_) {
        bytes.append(static_cast<size_t>(end_ - written - 1), ' ');
        bytes += '\n';
    }
    live_ = false;
    WriteAt(file, tailAt_, bytes);
    settled_ = settled;
    closingAt_ = tailAt_ + closing;
    tailAt_ += added;
    tailStart_ = bytes.substr(added, kTailCheck);
    end_ = std::max(end_, written);
    WriteAt(file, countsAt_, counts);
    live_ = true;
}

void WriteEmptyJUnitReport(const std::wstring& path, const RunSettings& settings, unsigned long patienceMs) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    JUnitTail nothing;
    nothing.Ended = true;
    JUnitReport(path, settings, now).WriteWhole({}, nothing, patienceMs);
}

}  // namespace orlenta
