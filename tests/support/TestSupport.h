// Helpers shared by the test programs: scratch folders and whole-file reads and writes.
#pragma once

#include <string>

namespace orlenta::test {

// A fresh, empty folder below the temporary folder, removed with everything in it afterwards.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder's path, without a trailing backslash.
    const std::string& Path() const { return path_; }
    // Path() + "\" + relative.
    std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

private:
    std::string path_;
};

// Writes the bytes exactly as given, creating the file or replacing it.
void WriteBytes(const std::string& path, const std::string& bytes);
// The whole file's bytes; fails the test when it cannot be read.
std::string ReadBytes(const std::string& path);
void MakeFolder(const std::string& path);
bool PathExists(const std::string& path);
// Removes a folder tree, clearing read-only attributes on the way; used for cleanup only.
void RemoveTree(const std::string& path);
// The Unix path of a Windows path in the prefix (for links that only the host can make).
std::string UnixPath(const std::string& windowsPath);

}  // namespace orlenta::test
