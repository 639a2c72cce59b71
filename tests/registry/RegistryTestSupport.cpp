// Registry helpers for the registry tests.
#include "RegistryTestSupport.h"

#include <algorithm>
#include <atomic>

#include <gtest/gtest.h>

#include "util/Handles.h"

namespace orlenta {

void PrintTo(const RegistryValue& value, std::ostream* out) {
    switch (value.GetKind()) {
    case RegistryValue::Kind::Empty:
        *out << "Empty";
        break;
    case RegistryValue::Kind::Integer16:
        *out << "Integer16 " << *value.Integer();
        break;
    case RegistryValue::Kind::Integer32:
        *out << "Integer32 " << *value.Integer();
        break;
    case RegistryValue::Kind::Text:
        *out << "Text \"" << testing::PrintToString(*value.Text()) << "\"";
        break;
    case RegistryValue::Kind::Bytes:
        *out << "Bytes from " << value.Bytes()->LowerBound << ":";
        for (const auto byte : value.Bytes()->Bytes) {
            *out << ' ' << static_cast<int>(byte);
        }
        break;
    }
}

}  // namespace orlenta

namespace orlenta::test {

namespace {
std::atomic<int> g_keyCounter{0};
}  // namespace

ScratchKey::ScratchKey()
    : path_("Software\\OrlentaTest\\" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++g_keyCounter)) {
    RemoveKeyTree(HKEY_CURRENT_USER, path_);
    RegKey key;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                              nullptr),
              ERROR_SUCCESS);
}

ScratchKey::~ScratchKey() {
    RemoveKeyTree(HKEY_CURRENT_USER, path_);
    // The common parent goes with the last scratch key; while others remain this is refused.
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\OrlentaTest");
}

void SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& bytes) {
    RegKey key;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    // Wine appends a NUL to string data when the byte behind it is one: pass a buffer whose
    // byte behind the data is not NUL, so that unterminated data is stored as it is.
    std::string buffer = bytes + "X";
    ASSERT_EQ(RegSetValueExA(key.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(buffer.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

std::optional<StoredValue> ReadRaw(HKEY root, const std::string& path, const std::string& name) {
    RegKey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    StoredValue stored;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &stored.Type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    stored.Bytes.assign(size + 1, '\0');
    EXPECT_EQ(RegQueryValueExA(key.get(), name.c_str(), nullptr, &stored.Type,
                               reinterpret_cast<BYTE*>(stored.Bytes.data()), &size),
              ERROR_SUCCESS);
    stored.Bytes.resize(size);
    return stored;
}

bool RawKeyExists(HKEY root, const std::string& path) {
    RegKey key;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
}

void RemoveKeyTree(HKEY root, const std::string& path) {
    const LONG result = RegDeleteTreeA(root, path.c_str());
    if (result == ERROR_SUCCESS) {
        RegDeleteKeyA(root, path.c_str());
    }
}

namespace {

void CollectKeys(HKEY root, const std::string& path, const std::string& relative, std::vector<std::string>& found) {
    if (ReadRaw(root, path, "")) {
        found.push_back(relative);
    }
    RegKey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, key.put()) != ERROR_SUCCESS) {
        return;
    }
    char name[256];
    for (DWORD index = 0; RegEnumKeyA(key.get(), index, name, sizeof name) == ERROR_SUCCESS; ++index) {
        CollectKeys(root, path + "\\" + name, relative.empty() ? name : relative + "\\" + name, found);
    }
}

}  // namespace

std::vector<std::string> KeysWithDefaultValue(HKEY root, const std::string& path) {
    std::vector<std::string> found;
    CollectKeys(root, path, "", found);
    std::sort(found.begin(), found.end());
    return found;
}

std::int32_t RootValue(HKEY root) {
    return static_cast<std::int32_t>(reinterpret_cast<LONG_PTR>(root));
}

}  // namespace orlenta::test
