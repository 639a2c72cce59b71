// Helpers shared by the test programs: scratch folders and whole-file reads and writes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <windows.h>

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

// Puts the process's current directory back when it goes; declare it after the folders it may
// point into, so it is restored before they are removed.
class CurrentDirectoryGuard {
public:
    CurrentDirectoryGuard();
    ~CurrentDirectoryGuard();
    CurrentDirectoryGuard(const CurrentDirectoryGuard&) = delete;
    CurrentDirectoryGuard& operator=(const CurrentDirectoryGuard&) = delete;

    const std::string& Saved() const { return saved_; }

private:
    std::string saved_;
};

// Writes the bytes exactly as given, creating the file or replacing it.
void WriteBytes(const std::string& path, const std::string& bytes);
// The whole file's bytes; fails the test when it cannot be read.
std::string ReadBytes(const std::string& path);
void MakeFolder(const std::string& path);
bool PathExists(const std::string& path);
// Every entry below `folder` except "." and "..", as sorted relative paths; links are not followed.
std::vector<std::string> TreeEntries(const std::string& folder, bool recursive = true);
// Removes a folder tree, clearing read-only attributes on the way; used for cleanup only.
void RemoveTree(const std::string& path);
// The Unix path of a Windows path in the prefix (for links that only the host can make).
std::string UnixPath(const std::string& windowsPath);

// Runs a shell script on the host side (trees whose paths or names Windows calls cannot build
// easily, attributes only the host can set) and waits up to a minute for it; true when it exited 0.
bool RunHostScript(const std::string& script);

// What a host shell script writes to its standard output; nothing when it does not exit 0.
std::optional<std::string> HostScriptOutput(const std::string& script);

// A page as Debian's headless Chromium on the host loads it: its DOM once loaded, and the console
// lines the browser logged meanwhile (a refused load, a script); nothing when the browser did not run.
struct BrowserPage {
    std::string Dom;
    std::string Console;
};
std::optional<BrowserPage> OpenInBrowser(const std::string& windowsPath);

// The HTML of the page's <section id="id"> up to its end; empty when the page has none.
std::string SectionOf(const std::string& html, const std::string& id);
// Fails the test unless that section holds every one of `present` and none of `absent`.
void ExpectSection(const std::string& html, const std::string& id, const std::vector<std::string>& present,
                   const std::vector<std::string>& absent = {});

// A Unix symbolic link inside the prefix, made and removed from the host side: under Wine this is
// the only way to build a link (CreateSymbolicLinkA creates nothing). Declare it after the folders
// it points into, so it goes before they are removed and cleanup never follows it.
class HostSymlink {
public:
    // Both are Windows paths; the target must exist. Check Made() before relying on the link.
    HostSymlink(const std::string& target, const std::string& link);
    ~HostSymlink();
    HostSymlink(const HostSymlink&) = delete;
    HostSymlink& operator=(const HostSymlink&) = delete;

    // A drive letter ("T:") whose root is the target folder: Wine keeps its drives as links too.
    static HostSymlink Drive(const std::string& target, char letter);

    bool Made() const { return made_; }
    // Why the link could not be made, for a skip message.
    const std::string& Problem() const { return problem_; }

private:
    HostSymlink(const std::string& target, const std::string& link, const std::string& unixLink);

    std::string link_;
    std::string unixLink_;
    bool made_ = false;
    std::string problem_;
};

}  // namespace orlenta::test

namespace orlenta::test {

// A path the build handed over as a host path ("/work/...") as Wine shows it (drive Z:).
std::string WindowsPathOf(std::string hostPath);

// A script's processes, made of PassHelper.exe (tests/support/PassHelper.cpp): each copy lists its
// process id in <folder>\pids.txt and waits until <folder>\release exists.
struct PassFamily {
    std::string folder;
    // VBScript that starts the helper (which starts `depth` more below it), waits for it, then quits
    // with `exitCode`.
    std::string Script(int depth, int exitCode) const;
    // The helper program's path, as Windows shows it.
    static std::string Program();
    // The helper itself as a pass's command (quoted program, folder, depth).
    std::string Command(int depth) const;
    std::vector<DWORD> Pids() const;
    // True when every listed process has ended, waiting up to `waitMs` for each.
    bool AllEnded(DWORD waitMs = 5000) const;
    void Release() const;
};

}  // namespace orlenta::test
