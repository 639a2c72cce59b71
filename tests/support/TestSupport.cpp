// Helpers shared by the test programs.
#include "support/TestSupport.h"

#include <algorithm>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <windows.h>

#include <gtest/gtest.h>

#include "util/Text.h"

namespace orlenta::test {

namespace {

std::atomic<int> g_counter{0};

// Starts a host program through Wine, which runs a Unix executable named by its Unix path. Wine
// hands back no process to wait on, so callers poll for the program's effect.
bool StartHostProgram(const std::string& commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string buffer = commandLine;
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    if (process.hThread != nullptr) {
        CloseHandle(process.hThread);
    }
    if (process.hProcess != nullptr) {
        CloseHandle(process.hProcess);
    }
    return true;
}

// Polls `done` until it holds or the time (ten seconds unless given) has passed.
template <typename Condition>
bool WaitFor(Condition done, ULONGLONG milliseconds = 10000) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (!done()) {
        if (GetTickCount64() > deadline) {
            return false;
        }
        Sleep(10);
    }
    return true;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

ScratchFolder::ScratchFolder() {
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string base = temp;
    if (!base.empty() && base.back() == '\\') {
        base.pop_back();
    }
    for (;;) {
        path_ = base + "\\orlenta-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++g_counter);
        if (CreateDirectoryA(path_.c_str(), nullptr)) {
            break;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create scratch folder " << path_;
            break;
        }
    }
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

CurrentDirectoryGuard::CurrentDirectoryGuard() {
    char buffer[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(MAX_PATH, buffer);
    saved_ = buffer;
}

CurrentDirectoryGuard::~CurrentDirectoryGuard() { SetCurrentDirectoryA(saved_.c_str()); }

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

namespace {

void CollectEntries(const std::string& folder, const std::string& prefix, bool recursive,
                    std::vector<std::string>& names) {
    WIN32_FIND_DATAA data{};
    const HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") {
            continue;
        }
        names.push_back(prefix + name);
        if (recursive && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            CollectEntries(folder + "\\" + name, prefix + name + "\\", true, names);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

}  // namespace

std::vector<std::string> TreeEntries(const std::string& folder, bool recursive) {
    std::vector<std::string> names;
    CollectEntries(folder, "", recursive, names);
    std::sort(names.begin(), names.end());
    return names;
}

void MakeFolder(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    ASSERT_FALSE(error) << "cannot create " << path << ": " << error.message();
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::string& path) {
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(path, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        SetFileAttributesA(it->path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    std::filesystem::remove_all(path, error);
}

std::string UnixPath(const std::string& windowsPath) {
    // wine_get_unix_file_name is Wine's own export; on Windows there is no Unix path.
    using GetUnixName = char*(__cdecl*)(const wchar_t*);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const auto convert = reinterpret_cast<GetUnixName>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
    if (convert == nullptr) {
        return {};
    }
    // The tests spell their paths in the ANSI code page, letters beyond ASCII included.
    char* unixName = convert(AnsiToWide(windowsPath).c_str());
    if (unixName == nullptr) {
        return {};
    }
    std::string result = unixName;
    HeapFree(GetProcessHeap(), 0, unixName);
    return result;
}

bool RunHostScript(const std::string& script) {
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string base = std::string(temp) + "orlenta-host-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++g_counter);
    const std::string scriptFile = base + ".sh";
    const std::string doneFile = base + ".rc";
    const std::string unixDone = UnixPath(doneFile);
    if (unixDone.empty()) {
        return false;
    }
    // The exit code lands under a temporary name first, so the file never shows up half written.
    WriteBytes(scriptFile, "(\n" + script + "\n)\necho $? > '" + unixDone + ".tmp' && mv '" + unixDone + ".tmp' '" +
                               unixDone + "'\n");
    bool passed = false;
    if (StartHostProgram("/bin/sh " + Quoted(UnixPath(scriptFile))) &&
        WaitFor([&] { return PathExists(doneFile); }, 60000)) {
        std::string code = ReadBytes(doneFile);
        passed = code.rfind("0", 0) == 0 && code.size() <= 2;
    }
    DeleteFileA(scriptFile.c_str());
    DeleteFileA(doneFile.c_str());
    return passed;
}

std::optional<std::string> HostScriptOutput(const std::string& script) {
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string output = std::string(temp) + "orlenta-host-out-" + std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(++g_counter) + ".txt";
    WriteBytes(output, "");
    std::optional<std::string> text;
    if (RunHostScript("(\n" + script + "\n) > " + Quoted(UnixPath(output)))) {
        text = ReadBytes(output);
    }
    DeleteFileA(output.c_str());
    return text;
}

std::optional<BrowserPage> OpenInBrowser(const std::string& windowsPath) {
    std::string url = "file://";
    for (const char c : UnixPath(windowsPath)) {
        url += c == ' ' ? std::string("%20") : std::string(1, c);
    }
    // A profile of its own, so nothing of the host user's browser is read or written.
    const auto output = HostScriptOutput(
        "profile=$(mktemp -d) && chromium --headless --no-sandbox --disable-gpu --user-data-dir=\"$profile\" "
        "--enable-logging=stderr --v=0 --dump-dom " + Quoted(url) +
        " 2>\"$profile/err\"; rc=$?; echo '<!--console-->'; grep CONSOLE \"$profile/err\"; rm -rf \"$profile\"; "
        "exit $rc");
    if (!output) {
        return std::nullopt;
    }
    const size_t split = output->rfind("<!--console-->");
    return BrowserPage{output->substr(0, split), output->substr(split + std::string("<!--console-->\n").size())};
}

std::string SectionOf(const std::string& html, const std::string& id) {
    const size_t start = html.find("<section id=\"" + id + "\"");
    return start == std::string::npos ? std::string() : html.substr(start, html.find("</section>", start) - start);
}

void ExpectSection(const std::string& html, const std::string& id, const std::vector<std::string>& present,
                   const std::vector<std::string>& absent) {
    SCOPED_TRACE(id);
    const std::string section = SectionOf(html, id);
    EXPECT_FALSE(section.empty());
    for (const std::string& text : present) {
        EXPECT_NE(std::string::npos, section.find(text)) << text << " in " << section;
    }
    for (const std::string& text : absent) {
        EXPECT_EQ(std::string::npos, section.find(text)) << text << " in " << section;
    }
}

HostSymlink::HostSymlink(const std::string& target, const std::string& link)
    : HostSymlink(target, link, UnixPath(link)) {}

HostSymlink HostSymlink::Drive(const std::string& target, char letter) {
    // The drives live side by side in the prefix's dosdevices folder, "c:" among them.
    std::string drives = UnixPath("C:\\");
    while (!drives.empty() && drives.back() == '/') {
        drives.pop_back();
    }
    drives = drives.substr(0, drives.find_last_of('/') + 1);
    const char lower = static_cast<char>(tolower(static_cast<unsigned char>(letter)));
    return HostSymlink(target, std::string(1, letter) + ":\\", drives.empty() ? "" : drives + lower + ":");
}

HostSymlink::HostSymlink(const std::string& target, const std::string& link, const std::string& unixLink)
    : link_(link), unixLink_(unixLink) {
    const std::string unixTarget = UnixPath(target);
    if (unixTarget.empty() || unixLink_.empty()) {
        problem_ = "no Unix path for " + target + " or " + link + " (not running under Wine?)";
        return;
    }
    if (!StartHostProgram("/bin/ln -s -- " + Quoted(unixTarget) + " " + Quoted(unixLink_))) {
        problem_ = "cannot start /bin/ln through Wine (error " + std::to_string(GetLastError()) + ")";
        return;
    }
    // A link to an existing target shows up as that target once ln has run.
    made_ = WaitFor([&] { return PathExists(link_); });
    if (!made_) {
        problem_ = "/bin/ln did not make " + unixLink_ + " within 10 s";
    }
}

HostSymlink::~HostSymlink() {
    if (!made_) {
        return;
    }
    // rm on the link itself removes only the link, never what it points to.
    if (!StartHostProgram("/bin/rm -f -- " + Quoted(unixLink_)) || !WaitFor([&] { return !PathExists(link_); })) {
        ADD_FAILURE() << "cannot remove the link " << unixLink_ << "; remove it before its folder";
    }
}

}  // namespace orlenta::test

namespace orlenta::test {

std::string WindowsPathOf(std::string hostPath) {
    if (!hostPath.empty() && hostPath[0] == '/') {
        for (char& c : hostPath) {
            c = c == '/' ? '\\' : c;
        }
        hostPath = "Z:" + hostPath;
    }
    return hostPath;
}

std::string PassFamily::Script(int depth, int exitCode) const {
    return "CreateObject(\"WScript.Shell\").Run \"\"\"" + WindowsPathOf(ORLENTA_PASS_HELPER) + "\"\" \"\"" + folder +
           "\"\" " + std::to_string(depth) + "\", 0, True\r\nWScript.Quit " + std::to_string(exitCode) + "\r\n";
}

std::string PassFamily::Program() { return WindowsPathOf(ORLENTA_PASS_HELPER); }

std::string PassFamily::Command(int depth) const {
    return "\"" + WindowsPathOf(ORLENTA_PASS_HELPER) + "\" \"" + folder + "\" " + std::to_string(depth);
}

std::vector<DWORD> PassFamily::Pids() const {
    std::vector<DWORD> pids;
    std::ifstream in(folder + "\\pids.txt");
    for (unsigned long pid = 0; in >> pid;) {
        pids.push_back(static_cast<DWORD>(pid));
    }
    return pids;
}

bool PassFamily::AllEnded(DWORD waitMs) const {
    for (const DWORD pid : Pids()) {
        const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
        if (process == nullptr) {
            continue;  // gone already
        }
        const bool ended = WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0;
        CloseHandle(process);
        if (!ended) {
            return false;
        }
    }
    return true;
}

void PassFamily::Release() const { WriteBytes(folder + "\\release", ""); }

}  // namespace orlenta::test
