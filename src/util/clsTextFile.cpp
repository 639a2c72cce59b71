// A line-oriented sequential text file under a number from the process's table of open files.
#include "util/clsTextFile.h"

#include <array>
#include <mutex>

#include <windows.h>

#include "util/AppError.h"
#include "util/AppPaths.h"

namespace orlenta {

namespace {

enum class FileMode { kNone, kWrite, kRead };

// One slot per file number 1..255. A number belongs to the object that took it from the moment
// it is taken until that object closes it, even when the open itself failed, so two objects
// never hold the same number and a stale object can never reach another object's file.
struct Slot {
    const clsTextFile* owner = nullptr;
    HANDLE handle = INVALID_HANDLE_VALUE;
    FileMode mode = FileMode::kNone;
};

class FileTable {
public:
    static FileTable& Instance() {
        static FileTable table;
        return table;
    }

    // The lowest free number, now owned by `owner`; 0 when every number is in use.
    long Take(const clsTextFile* owner) {
        std::lock_guard lock(mutex_);
        for (size_t i = 0; i < slots_.size(); ++i) {
            if (slots_[i].owner == nullptr) {
                slots_[i].owner = owner;
                return static_cast<long>(i + 1);
            }
        }
        return 0;
    }

    void Attach(long number, HANDLE handle, FileMode mode) {
        std::lock_guard lock(mutex_);
        slots_[Index(number)].handle = handle;
        slots_[Index(number)].mode = mode;
    }

    // Closes the file (if any) and frees the number, when `owner` holds it.
    void Release(long number, const clsTextFile* owner) noexcept {
        std::lock_guard lock(mutex_);
        if (!InRange(number) || slots_[Index(number)].owner != owner) {
            return;
        }
        Slot& slot = slots_[Index(number)];
        if (slot.handle != INVALID_HANDLE_VALUE) {
            CloseHandle(slot.handle);
        }
        slot = Slot{};
    }

    // The open file that `owner` holds under `number`; nothing when the number is stale.
    Slot Lookup(long number, const clsTextFile* owner) {
        std::lock_guard lock(mutex_);
        if (!InRange(number) || slots_[Index(number)].owner != owner ||
            slots_[Index(number)].handle == INVALID_HANDLE_VALUE) {
            return Slot{};
        }
        return slots_[Index(number)];
    }

private:
    static bool InRange(long number) { return number >= 1 && number <= kMaxTextFiles; }
    static size_t Index(long number) { return static_cast<size_t>(number - 1); }

    std::mutex mutex_;
    std::array<Slot, kMaxTextFiles> slots_{};
};

[[noreturn]] void Raise(long number, const char* description) {
    throw AppError(number, ProgramName(), description);
}

// The failed call's error is read before ProgramName(), whose own platform calls reset it.
HANDLE RequireOpen(long number, const clsTextFile* owner, FileMode wanted) {
    const Slot slot = FileTable::Instance().Lookup(number, owner);
    if (slot.handle == INVALID_HANDLE_VALUE) {
        Raise(error_number::kBadFileNumber, "Bad file name or number");
    }
    if (wanted != FileMode::kNone && slot.mode != wanted) {
        Raise(54, "Bad file mode");
    }
    return slot.handle;
}

LONGLONG Position(HANDLE file) {
    LARGE_INTEGER position{};
    if (!SetFilePointerEx(file, LARGE_INTEGER{}, &position, FILE_CURRENT)) {
        throw AppError::FromLastError();
    }
    return position.QuadPart;
}

void Seek(HANDLE file, LONGLONG offset) {
    LARGE_INTEGER target{};
    target.QuadPart = offset;
    if (!SetFilePointerEx(file, target, nullptr, FILE_BEGIN)) {
        throw AppError::FromLastError();
    }
}

LONGLONG Size(HANDLE file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        throw AppError::FromLastError();
    }
    return size.QuadPart;
}

}  // namespace

clsTextFile::~clsTextFile() { CloseTextFile(); }

long clsTextFile::Open(const std::string& name, bool forWrite, bool append) {
    if (fileNumber_ != 0) {
        FileTable::Instance().Release(fileNumber_, this);
    }
    const long number = FileTable::Instance().Take(this);
    if (number == 0) {
        Raise(error_number::kTooManyFiles, "Too many files");
    }
    fileNumber_ = number;

    const DWORD access = forWrite ? GENERIC_WRITE : GENERIC_READ;
    const DWORD disposition = forWrite ? (append ? OPEN_ALWAYS : CREATE_ALWAYS) : OPEN_EXISTING;
    // One writer per file: a writer lets others read but not write, so a second writer (here or in
    // another program) fails with the platform's sharing violation before it can empty the file.
    // Readers let anyone in, so a file being written stays readable.
    const DWORD share = forWrite ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE file = CreateFileA(name.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw AppError::FromLastError();  // the object is stale now
    }
    FileTable::Instance().Attach(number, file, forWrite ? FileMode::kWrite : FileMode::kRead);
    if (append) {
        LARGE_INTEGER end{};
        if (!SetFilePointerEx(file, end, nullptr, FILE_END)) {
            throw AppError::FromLastError();
        }
    }
    return number;
}

long clsTextFile::OpenTextFileForWrite(const std::string& strTextFilename, bool bAppend) {
    return Open(strTextFilename, true, bAppend);
}

long clsTextFile::OpenTextFileForRead(const std::string& strTextFilename) {
    return Open(strTextFilename, false, false);
}

void clsTextFile::CloseTextFile() noexcept {
    if (fileNumber_ != 0) {
        FileTable::Instance().Release(fileNumber_, this);
    }
    fileNumber_ = 0;
}

void clsTextFile::WriteLine(const std::string& strText) {
    if (fileNumber_ == 0) {
        return;
    }
    const HANDLE file = RequireOpen(fileNumber_, this, FileMode::kWrite);
    const std::string line = strText + "\r\n";
    size_t written = 0;
    while (written < line.size()) {
        DWORD chunk = 0;
        if (!WriteFile(file, line.data() + written, static_cast<DWORD>(line.size() - written), &chunk, nullptr)) {
            throw AppError::FromLastError();
        }
        if (chunk == 0) {
            throw AppError::FromWin32(ERROR_WRITE_FAULT, ProgramName());
        }
        written += chunk;
    }
}

std::string clsTextFile::ReadLine() {
    if (fileNumber_ == 0) {
        return {};
    }
    const HANDLE file = RequireOpen(fileNumber_, this, FileMode::kRead);
    const LONGLONG start = Position(file);
    if (start >= Size(file)) {
        Raise(error_number::kInputPastEndOfFile, "Input past end of file");
    }
    // Reads ahead in chunks, then leaves the file positioned just after the line's end, so
    // nothing is buffered outside the file itself.
    std::string line;
    char chunk[512];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
            throw AppError::FromLastError();
        }
        if (got == 0) {
            Seek(file, start + static_cast<LONGLONG>(line.size()));
            return line;
        }
        const std::string_view view(chunk, got);
        const auto cr = view.find('\r');
        if (cr == std::string_view::npos) {
            line.append(view);
            continue;
        }
        line.append(view.substr(0, cr));
        LONGLONG next = start + static_cast<LONGLONG>(line.size()) + 1;
        if (cr + 1 < view.size()) {
            next += view[cr + 1] == '\n' ? 1 : 0;
        } else {
            // The carriage return ended the chunk: look at the next byte for its line feed.
            char after = 0;
            DWORD one = 0;
            if (!ReadFile(file, &after, 1, &one, nullptr)) {
                throw AppError::FromLastError();
            }
            next += (one == 1 && after == '\n') ? 1 : 0;
        }
        Seek(file, next);
        return line;
    }
}

bool clsTextFile::AtEndOfStream() {
    const HANDLE file = RequireOpen(fileNumber_, this, FileMode::kNone);
    return Position(file) >= Size(file);
}

}  // namespace orlenta
