// The passes of a run as JUnit XML, the format every CI server reads.
#include "run/JUnitReport.h"

#include <cstdio>

#include "run/AveChoice.h"
#include "run/RunLog.h"
#include "run/RunValues.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Handles.h"
#include "util/Text.h"

namespace orlenta {

namespace {

// Text for an attribute or an element, from the ANSI code page into UTF-8, with the characters XML
// reserves written as references and the control characters XML 1.0 forbids replaced.
std::string Xml(const std::string& ansiText) {
    std::string escaped;
    for (const char c : ToUtf8(ansiText)) {
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

std::string TestCase(const PassRecord& pass) {
    std::string xml = "  <testcase classname=\"AVE\" name=\"" + Xml(AveName(pass.AveNumber)) + "\" time=\"" +
                      Seconds(pass.Seconds) + "\"";
    if (pass.Passed()) {
        return xml + "/>\n";
    }
    xml += ">\n";
    const std::string message = Xml(OutcomeText(pass));
    if (pass.Outcome == PassOutcome::Exited) {
        xml += "    <failure message=\"" + message + "\"/>\n";
    } else {
        xml += "    <error message=\"" + message + "\"/>\n";
    }
    return xml + "  </testcase>\n";
}

}  // namespace

std::string JUnitXml(const RunSettings& settings, const SYSTEMTIME& started, const std::string& hostName,
                     const std::vector<PassRecord>& passes) {
    int failures = 0;
    int errors = 0;
    double total = 0;
    std::string cases;
    for (const PassRecord& pass : passes) {
        failures += (pass.Outcome == PassOutcome::Exited && pass.ExitCode != 0) ? 1 : 0;
        errors += pass.Outcome != PassOutcome::Exited ? 1 : 0;
        total += pass.Seconds;
        cases += TestCase(pass);
    }
    // Each shard's suite has a name of its own, so a CI server that merges them keeps them apart.
    const auto shard = ReadShard(settings.Nightly.Shard);
    const std::string suite = shard ? "Orlenta shard " + ShardText(*shard) : "Orlenta";
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuite name=\"" + suite + "\" tests=\"" +
                      std::to_string(passes.size()) + "\" failures=\"" + std::to_string(failures) +
                      "\" errors=\"" + std::to_string(errors) + "\" skipped=\"0\" time=\"" + Seconds(total) +
                      "\" timestamp=\"" + IsoLocalTime(started) + "\" hostname=\"" + Xml(hostName) + "\">\n";
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
    return xml + cases + "</testsuite>\n";
}

void WriteJUnitReport(const std::string& path, const RunSettings& settings, const SYSTEMTIME& started,
                      const std::vector<PassRecord>& passes) {
    char host[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD hostLength = sizeof host;
    if (!GetComputerNameA(host, &hostLength)) {
        hostLength = 0;
    }
    const std::string xml = JUnitXml(settings, started, std::string(host, hostLength), passes);
    const std::string staging = path + ".tmp";
    DWORD failure = ERROR_SUCCESS;
    {
        const FileHandle file(CreateFileA(staging.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            throw AppError::FromLastError();
        }
        DWORD written = 0;
        if (!WriteFile(file.get(), xml.data(), static_cast<DWORD>(xml.size()), &written, nullptr)) {
            failure = GetLastError();
        } else if (written != xml.size()) {
            failure = ERROR_DISK_FULL;
        }
    }
    if (failure != ERROR_SUCCESS) {
        DeleteFileA(staging.c_str());
        throw AppError::FromWin32(failure, ProgramName());
    }
    if (!MoveFileExA(staging.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const AppError error = AppError::FromLastError();
        DeleteFileA(staging.c_str());
        throw error;
    }
}

}  // namespace orlenta
