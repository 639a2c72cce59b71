// cRegistry: key and value access on the registry's ANSI entry points.
#include "registry/cRegistry.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <new>

#include "registry/RegistryData.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Handles.h"
#include "util/Text.h"

namespace orlenta {

namespace {

// The six key-specific rights without any standard right; deliberately not KEY_ALL_ACCESS.
constexpr REGSAM kKeyRights = 0x3F;

static_assert(registry_type::kText == REG_SZ && registry_type::kExpandText == REG_EXPAND_SZ &&
              registry_type::kInteger == REG_DWORD && registry_type::kBigEndianInteger == REG_DWORD_BIG_ENDIAN &&
              registry_type::kMultiText == REG_MULTI_SZ);

LONG OpenKey(HKEY root, const std::string& path, REGSAM access, RegKey& key) {
    return RegOpenKeyExA(root, path.c_str(), 0, access, key.put());
}

LONG CreateOrOpenKey(HKEY root, const std::string& path, RegKey& key) {
    SECURITY_ATTRIBUTES security{};  // all three fields zero
    char emptyClass[] = "";
    DWORD disposition = 0;
    return RegCreateKeyExA(root, path.c_str(), 0, emptyClass, REG_OPTION_NON_VOLATILE, kKeyRights, &security,
                           key.put(), &disposition);
}

// The value's data as stored; false when it can't be read. Grows the buffer if the value grew
// between the probe and the read.
bool ReadData(HKEY key, const std::string& name, DWORD size, DWORD& type, std::vector<BYTE>& data) {
    for (;;) {
        data.assign(size, 0);
        DWORD got = size;
        const LONG result =
            RegQueryValueExA(key, name.c_str(), nullptr, &type, data.empty() ? nullptr : data.data(), &got);
        if (result == ERROR_MORE_DATA && got > size) {
            size = got;
            continue;
        }
        if (result != ERROR_SUCCESS) {
            return false;
        }
        data.resize(std::min(got, size));
        return true;
    }
}

// Two percent signs with at least one character between them make an environment reference.
bool HasEnvironmentReference(const std::string& text) {
    const auto first = text.find('%');
    return first != std::string::npos && text.find('%', first + 2) != std::string::npos;
}

LONG SetData(HKEY key, const std::string& name, DWORD type, const void* data, std::size_t size) {
    static const BYTE nothing = 0;
    return RegSetValueExA(key, name.c_str(), 0, type, size == 0 ? &nothing : static_cast<const BYTE*>(data),
                          static_cast<DWORD>(size));
}

}  // namespace

std::string cRegistry::Source() { return ProgramName() + ".cRegistry"; }

HKEY cRegistry::Root() const noexcept {
    // Predefined roots are 32-bit values sign-extended to a pointer (0x80000000 -> 0xFFFFFFFF80000000).
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(classKey_)));
}

bool cRegistry::KeyExists() const {
    RegKey key;
    return OpenKey(Root(), sectionKey_, KEY_QUERY_VALUE, key) == ERROR_SUCCESS;
}

bool cRegistry::CreateKey() {
    RegKey key;
    if (CreateOrOpenKey(Root(), sectionKey_, key) != ERROR_SUCCESS) {
        throw AppError(registry_error::kFailed, Source(), "Failed to create registry Key: '" + sectionKey_);
    }
    return true;
}

bool cRegistry::DeleteKey() {
    if (RegDeleteKeyA(Root(), sectionKey_.c_str()) != ERROR_SUCCESS) {
        throw AppError(registry_error::kFailed, Source(),
                       "Failed to delete registry Key: '" + std::to_string(classKey_) + "',Section: '" + sectionKey_);
    }
    return true;
}

bool cRegistry::DeleteValue() {
    RegKey key;
    if (OpenKey(Root(), sectionKey_, kKeyRights, key) != ERROR_SUCCESS) {
        throw AppError(registry_error::kFailed, Source(),
                       "Failed to open key '" + std::to_string(classKey_) + "',Section: '" + sectionKey_ +
                           "' for delete access");
    }
    if (RegDeleteValueA(key.get(), valueKey_.c_str()) != ERROR_SUCCESS) {
        throw AppError(registry_error::kFailed, Source(),
                       "Failed to delete registry Key: '" + std::to_string(classKey_) + "',Section: '" +
                           sectionKey_ + "',Key: '" + valueKey_);
    }
    return true;
}

RegistryValue cRegistry::value() {
    RegKey key;
    if (OpenKey(Root(), sectionKey_, KEY_QUERY_VALUE, key) != ERROR_SUCCESS) {
        return default_;
    }
    DWORD type = REG_NONE;
    DWORD size = 0;
    const LONG probe = RegQueryValueExA(key.get(), valueKey_.c_str(), nullptr, &type, nullptr, &size);
    if (probe != ERROR_SUCCESS && probe != ERROR_MORE_DATA) {
        return default_;
    }
    std::vector<BYTE> data;
    if (!ReadData(key.get(), valueKey_, size, type, data)) {
        return default_;
    }
    valueType_ = type;
    return DecodeRegistryData(type, std::move(data), ExpandEnvironmentText);
}

void cRegistry::value(const RegistryValue& vValue) {
    RegKey key;
    if (CreateOrOpenKey(Root(), sectionKey_, key) != ERROR_SUCCESS) {
        RaiseSetValueFailed(registry_error::kFailed, vValue);
    }
    LONG result = error_number::kTypeMismatch;
    switch (valueType_) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        const std::string text = vValue.ToText();
        const DWORD type = HasEnvironmentReference(text) ? REG_EXPAND_SZ : REG_SZ;
        result = SetData(key.get(), valueKey_, type, text.c_str(), text.size() + 1);
        break;
    }
    case REG_BINARY: {
        const ByteArray* array = vValue.Bytes();
        if (array == nullptr || (array->LowerBound > 0 && !array->Bytes.empty())) {
            throw AppError(registry_error::kFailed, "", "");
        }
        // The data starts at index 0 and runs to the upper bound; elements below index 0 are left out.
        const std::size_t skipped = static_cast<std::size_t>(
            std::clamp(-array->LowerBound, 0L, static_cast<long>(array->Bytes.size())));
        result = SetData(key.get(), valueKey_, REG_BINARY, array->Bytes.data() + skipped,
                         array->Bytes.size() - skipped);
        break;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
        // Both are stored as REG_DWORD in the machine's byte order; anything but an integer is refused.
        if (const auto number = vValue.Integer()) {
            const DWORD data = static_cast<DWORD>(*number);
            result = SetData(key.get(), valueKey_, REG_DWORD, &data, sizeof data);
        }
        break;
    default:
        break;
    }
    if (result != ERROR_SUCCESS) {
        RaiseSetValueFailed(registry_error::kSetValueFailed, vValue);
    }
}

void cRegistry::RaiseSetValueFailed(long number, const RegistryValue& vValue) const {
    throw AppError(number, Source(),
                   "Failed to set registry value Key: '" + std::to_string(classKey_) + "',Section: '" +
                       sectionKey_ + "',Key: '" + valueKey_ + "' to value: '" + vValue.ToText() + "'");
}

namespace {

// Longest ANSI name a buffer grows to: 16383 characters (the registry's limit for value names) of
// up to four bytes each, with room to spare.
constexpr std::size_t kLongestAnsiName = 1u << 17;

// Names at index 0, 1, 2 and on, until the platform has no more. The ANSI form of a name can take
// more bytes than the characters the registry counts (a double-byte code page stores most Japanese
// or Chinese characters in two), so a name that does not fit grows the buffer and the same index is
// read again. Any failure other than the list's end is raised with the platform's own text.
template <typename ReadName>
std::vector<std::string> ListNames(std::size_t size, ReadName readName) {
    std::vector<std::string> names;
    std::string buffer(std::max<std::size_t>(size, 1), '\0');
    for (DWORD index = 0;;) {
        std::string name;
        const LONG result = readName(index, buffer, name);
        if (result == ERROR_NO_MORE_ITEMS) {
            return names;
        }
        if (result == ERROR_MORE_DATA && buffer.size() < kLongestAnsiName) {
            buffer.assign(buffer.size() * 2, '\0');
            continue;
        }
        if (result != ERROR_SUCCESS) {
            throw AppError::FromWin32(static_cast<DWORD>(result), "");
        }
        names.push_back(std::move(name));
        ++index;
    }
}

}  // namespace

bool cRegistry::EnumerateValues(std::vector<std::string>& sKeyNames, long& iKeyCount) const {
    return Enumerate([this] { return ListValueNames(); }, sKeyNames, iKeyCount);
}

bool cRegistry::EnumerateSections(std::vector<std::string>& sSect, long& iSectCount) const {
    return Enumerate([this] { return ListSubkeys(); }, sSect, iSectCount);
}

bool cRegistry::Enumerate(const std::function<std::vector<std::string>()>& list, std::vector<std::string>& names,
                          long& count) const {
    count = 0;
    names.clear();
    try {
        names = list();
        if (names.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            throw AppError(error_number::kOverflow, Source(), "Overflow");
        }
        count = static_cast<long>(names.size());
    } catch (const AppError& error) {
        names.clear();
        throw AppError(registry_error::kEnumerationFailed, Source(), error.Description());
    } catch (const std::bad_alloc&) {
        names.clear();
        throw AppError(registry_error::kEnumerationFailed, Source(), "Out of memory");
    }
    return true;
}

std::vector<std::string> cRegistry::ListValueNames() const {
    RegKey key;
    if (OpenKey(Root(), sectionKey_, KEY_QUERY_VALUE, key) != ERROR_SUCCESS) {
        return {};
    }
    DWORD longest = 0;
    if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return {};
    }
    return ListNames(longest + 1, [&key](DWORD index, std::string& buffer, std::string& name) {
        DWORD length = static_cast<DWORD>(buffer.size());
        const LONG result =
            RegEnumValueA(key.get(), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_SUCCESS) {
            name.assign(buffer.data(), std::min<std::size_t>(length, buffer.size()));
        }
        return result;
    });
}

std::vector<std::string> cRegistry::ListSubkeys() const {
    RegKey key;
    if (OpenKey(Root(), sectionKey_, KEY_ENUMERATE_SUB_KEYS, key) != ERROR_SUCCESS) {
        return {};
    }
    // Room for the longest name the registry allows in a single-byte code page, with its terminator.
    return ListNames(256, [&key](DWORD index, std::string& buffer, std::string& name) {
        const LONG result = RegEnumKeyA(key.get(), index, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (result == ERROR_SUCCESS) {
            name.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
        }
        return result;
    });
}

// A length of 0 from the platform means it could not expand: the text stays as stored.
std::string cRegistry::ExpandEnvironmentText(const std::string& text) { return ExpandEnvironmentAnsi(text); }

}  // namespace orlenta
