// Registry helpers for the registry tests: scratch keys, and raw reads and writes that bypass cRegistry.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <windows.h>

#include "registry/RegistryValue.h"

namespace orlenta {
// Readable failure messages for the variant.
void PrintTo(const RegistryValue& value, std::ostream* out);
}  // namespace orlenta

namespace orlenta::test {

// A fresh key below HKEY_CURRENT_USER\Software\OrlentaTest, removed with its subtree afterwards.
class ScratchKey {
public:
    ScratchKey();
    ~ScratchKey();
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    // Path below HKEY_CURRENT_USER.
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

private:
    std::string path_;
};

struct StoredValue {
    DWORD Type = REG_NONE;
    std::string Bytes;
};

// Stores exactly these bytes with this type, creating the key.
void SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& bytes);
// The value's type and bytes, or nothing when the key or value is missing.
std::optional<StoredValue> ReadRaw(HKEY root, const std::string& path, const std::string& name);
bool RawKeyExists(HKEY root, const std::string& path);
// Removes a key and its subtree; a missing key is no failure.
void RemoveKeyTree(HKEY root, const std::string& path);
// Every key of the subtree that holds an unnamed default value, as paths relative to `path`
// ("" for the key itself), sorted.
std::vector<std::string> KeysWithDefaultValue(HKEY root, const std::string& path);

// The 32-bit form that cRegistry's ClassKey takes.
std::int32_t RootValue(HKEY root);

}  // namespace orlenta::test
