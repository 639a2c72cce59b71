// cRegistry: reads, writes, tests, creates, deletes and enumerates registry keys and values,
// and registers document types with the shell.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "registry/RegistryValue.h"

namespace orlenta {

// Root keys as the 32-bit values that ClassKey holds.
namespace registry_root {
inline constexpr std::int32_t kClassesRoot = static_cast<std::int32_t>(0x80000000u);
inline constexpr std::int32_t kCurrentUser = static_cast<std::int32_t>(0x80000001u);
inline constexpr std::int32_t kLocalMachine = static_cast<std::int32_t>(0x80000002u);
}  // namespace registry_root

// Numbers of the errors that cRegistry raises or records.
namespace registry_error {
inline constexpr long kFailed = 26001;
inline constexpr long kSetValueFailed = static_cast<std::int32_t>(0x800469A9u);
inline constexpr long kEnumerationFailed = static_cast<std::int32_t>(0x800469AAu);
inline constexpr long kInvalidParameterList = static_cast<std::int32_t>(0x800469ACu);
inline constexpr long kClassNotDefined = static_cast<std::int32_t>(0x800469ADu);
}  // namespace registry_error

// What CreateAdditionalEXEAssociations left behind; Number 0 means it met no failure.
struct ErrorRecord {
    long Number = 0;
    std::string Source;
    std::string Description;
};

class cRegistry {
public:
    // True when the key opens for query access; never raises.
    bool KeyExists() const;
    // Create the key and any missing keys above it; true, or raises 26001.
    bool CreateKey();
    // Delete the key (it must have no subkeys); true, or raises 26001.
    bool DeleteKey();
    bool DeleteValue();

    // Read: the stored value converted by its type, and ValueType set to that type; a copy of
    // Default when the key or value can't be read.
    RegistryValue value();
    // Write by ValueType (not by the kind of vValue); creates the key first.
    void value(const RegistryValue& vValue);

    // Names in the platform's order; name k (counting from 1) is sKeyNames[k - 1]. True, with an empty
    // list when the key can't be opened; a failure while listing raises 0x800469AA.
    bool EnumerateValues(std::vector<std::string>& sKeyNames, long& iKeyCount) const;
    bool EnumerateSections(std::vector<std::string>& sSect, long& iSectCount) const;

    // Writes the extension, the class and its verbs under both roots; the first failure raises.
    void CreateEXEAssociation(std::string sExePath, std::string sClassName, std::string sClassDescription,
                              std::string sAssociation, std::string sOpenMenuText, bool bSupportPrint,
                              std::string sPrintMenuText, bool bSupportNew, std::string sNewMenuText,
                              bool bSupportInstall, std::string sInstallMenuText, long lDefaultIconIndex);
    // Adds verbs from (Name, Text, Command) triples; std::nullopt stands for no list at all.
    // Never throws: failures go to LastAssociationError().
    void CreateAdditionalEXEAssociations(std::string sClassName,
                                         const std::optional<std::vector<RegistryValue>>& vItems) noexcept;
    // The last failure of the latest CreateAdditionalEXEAssociations, cleared when it starts.
    const ErrorRecord& LastAssociationError() const noexcept { return associationError_; }

    DWORD ValueType() const noexcept { return valueType_; }
    void ValueType(DWORD eValueType) noexcept { valueType_ = eValueType; }
    std::int32_t ClassKey() const noexcept { return classKey_; }
    void ClassKey(std::int32_t eKey) noexcept { classKey_ = eKey; }
    const std::string& SectionKey() const noexcept { return sectionKey_; }
    void SectionKey(std::string sSectionKey) { sectionKey_ = std::move(sSectionKey); }
    const std::string& ValueKey() const noexcept { return valueKey_; }
    void ValueKey(std::string sValueKey) { valueKey_ = std::move(sValueKey); }
    RegistryValue Default() const { return default_; }
    void Default(RegistryValue vDefault) { default_ = std::move(vDefault); }

private:
    static std::string ExpandEnvironmentText(const std::string& text);
    void SetClassValue(const std::string& text);

    static std::string Source();
    HKEY Root() const noexcept;
    [[noreturn]] void RaiseSetValueFailed(long number, const RegistryValue& vValue) const;
    // Runs a listing for the two enumerations: any failure in it raises 0x800469AA with its description.
    bool Enumerate(const std::function<std::vector<std::string>()>& list, std::vector<std::string>& names,
                   long& count) const;
    std::vector<std::string> ListValueNames() const;
    std::vector<std::string> ListSubkeys() const;

    std::int32_t classKey_ = 0;
    std::string sectionKey_;
    std::string valueKey_;
    RegistryValue default_;
    DWORD valueType_ = REG_NONE;
    ErrorRecord associationError_;
};

}  // namespace orlenta
