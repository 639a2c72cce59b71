// A line-oriented sequential text file under a number from the process's table of open files.
#pragma once

#include <string>

namespace orlenta {

class clsTextFile {
public:
    clsTextFile() = default;
    ~clsTextFile();
    clsTextFile(const clsTextFile&) = delete;
    clsTextFile& operator=(const clsTextFile&) = delete;

    // Writing empties the file (or appends to it with bAppend), creating it when missing.
    long OpenTextFileForWrite(const std::string& strTextFilename, bool bAppend);
    long OpenTextFileForRead(const std::string& strTextFilename);
    void CloseTextFile() noexcept;
    void WriteLine(const std::string& strText);
    std::string ReadLine();
    bool AtEndOfStream();

    // 0 when the object holds no file.
    long FileNumber() const noexcept { return fileNumber_; }

private:
    long Open(const std::string& name, bool forWrite, bool append);

    long fileNumber_ = 0;
};

// Number of files the process can hold open at once through clsTextFile.
inline constexpr long kMaxTextFiles = 255;

}  // namespace orlenta
