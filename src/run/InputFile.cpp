// The input file the external test script reads.
#include "run/InputFile.h"

#include <windows.h>

#include "run/OwnFile.h"
#include "run/RunFolderLock.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/ByHandle.h"
#include "util/FileIdentity.h"
#include "util/Text.h"

namespace orlenta {

namespace {

std::wstring InputFilePath() {
    const std::wstring folder = CurrentFolder();
    return (!folder.empty() && folder.back() == L'\\' ? folder : folder + L"\\") + Utf8ToWide(kInputFileName);
}

[[noreturn]] void RefuseInputFile(const std::string& reason) {
    throw AppError(error_number::kPermissionDenied, ProgramName(), std::string(kInputFileName) + " " + reason);
}

}  // namespace

std::string InputFileLine(const std::string& text) {
    if (auto ansi = Utf8ToAnsiExactly(text)) {
        return *ansi;
    }
    throw AppError(error_number::kInvalidArgument, ProgramName(),
                   "\"" + text + "\" cannot be written in the system's code page, which the test script reads");
}

std::optional<std::string> InputFileRefusal() {
    const std::wstring path = InputFilePath();
    const FileHandle file = OpenToLook(path, false);
    if (!file) {
        return std::nullopt;
    }
    if (auto reason = NotOwnFileReason(path, file.get())) {
        return std::string(kInputFileName) + " " + *reason;
    }
    return std::nullopt;
}

void DeleteInputFile() {
    const std::wstring path = InputFilePath();
    const OwnFileOpening opened = OpenOwnFile(path, DELETE | FILE_WRITE_ATTRIBUTES,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (!opened.Refusal.empty()) {
        RefuseInputFile(opened.Refusal);
    }
    if (!opened.File) {
        throw AppError::FromWin32(opened.Error, ProgramName());
    }
    const DWORD error = DeleteThroughHandle(opened.File.get(), HandleAttributes(opened.File.get()), false);
    if (error != 0) {
        throw AppError::FromWin32(error, ProgramName());
    }
}

void WriteInputFile(clsTextFile& writer, const std::vector<std::string>& header, const std::string& numbers) {
    std::string text;
    for (const std::string& line : header) {
        text += line + "\r\n";
    }
    writer.CloseTextFile();
    // A script may have left anything at the name; the file is replaced only when it is a plain one.
    if (auto reason = InputFileRefusal()) {
        throw AppError(error_number::kPermissionDenied, ProgramName(), *reason);
    }
    writer.OpenTextFileForWrite(kInputFileName, false);
    writer.WriteLine(text + numbers);
}

}  // namespace orlenta
