// cRegistry against the real registry: reads by type, fallbacks, write rules, keys, values, lists.
#include "registry/cRegistry.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "RegistryTestSupport.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Handles.h"
#include "util/Text.h"

namespace orlenta {
namespace {

using test::ReadRaw;
using test::ScratchKey;
using test::SetRaw;

const std::int32_t kCurrentUser = test::RootValue(HKEY_CURRENT_USER);

std::string Source() { return ProgramName() + ".cRegistry"; }

ByteArray Bytes(std::vector<std::uint8_t> bytes, long lowerBound = 0) { return ByteArray{lowerBound, std::move(bytes)}; }

// A registry object aimed at one value of the scratch key.
cRegistry At(const std::string& section, const std::string& value = "") {
    cRegistry registry;
    registry.ClassKey(kCurrentUser);
    registry.SectionKey(section);
    registry.ValueKey(value);
    return registry;
}

// Runs the call and hands back the AppError it raised; fails the test when it raised none.
template <typename Call>
AppError RaisedBy(Call call) {
    try {
        call();
    } catch (const AppError& error) {
        return error;
    }
    ADD_FAILURE() << "no error raised";
    return AppError(0, "", "");
}

void ExpectError(const AppError& error, long number, const std::string& source, const std::string& description) {
    EXPECT_EQ(error.Number(), number);
    EXPECT_EQ(error.Source(), source);
    EXPECT_EQ(error.Description(), description);
}

TEST(RegistrySource, IsTheProgramNameFollowedByTheClassName) {
    ScratchKey scratch;
    cRegistry registry = At(scratch / "a\\b");
    registry.ClassKey(0);
    const AppError error = RaisedBy([&] { registry.CreateKey(); });
    EXPECT_EQ(error.Source(), "registry_tests.cRegistry");
}

// The one stored value that a read converts, and what it must give.
struct ReadCase {
    const char* name;
    std::string valueName;
    DWORD storedType;
    std::string storedBytes;
    RegistryValue expected;
};

TEST(RegistryRead, ConvertsEachStoredTypeAndTakesItsType) {
    ASSERT_TRUE(SetEnvironmentVariableA("ORLENTA_READ_TEST", "C:\\Expanded"));
    const ReadCase cases[] = {
        {"text", "v", REG_SZ, std::string("hello\0", 6), "hello"},
        {"unnamed default value", "", REG_SZ, std::string("unnamed\0", 8), "unnamed"},
        {"text of one NUL", "v", REG_SZ, std::string("\0", 1), ""},
        {"text stored without its NUL keeps the last character", "v", REG_SZ, "abc", "abc"},
        {"text stored with zero bytes", "v", REG_SZ, "", ""},
        {"multi-string keeps its separators and one final NUL", "v", REG_MULTI_SZ, std::string("a\0b\0\0", 5),
         std::string("a\0b\0", 4)},
        {"expandable text", "v", REG_EXPAND_SZ, std::string("%ORLENTA_READ_TEST%\\x\0", 22), "C:\\Expanded\\x"},
        {"expandable text with an unknown name", "v", REG_EXPAND_SZ, std::string("%ORLENTA_NO_SUCH%\0", 18),
         "%ORLENTA_NO_SUCH%"},
        {"expandable text stored with zero bytes", "v", REG_EXPAND_SZ, "", ""},
        {"double word", "v", REG_DWORD, "\x78\x56\x34\x12", std::int32_t{0x12345678}},
        {"negative double word", "v", REG_DWORD, "\xFE\xFF\xFF\xFF", std::int32_t{-2}},
        {"big-endian double word", "v", REG_DWORD_BIG_ENDIAN, "\x12\x34\x56\x78", std::int32_t{0x12345678}},
        {"double word of two bytes", "v", REG_DWORD, "\x34\x12", std::int32_t{0x1234}},
        {"double word of six bytes", "v", REG_DWORD, "\x01\x02\x03\x04\x05\x06", std::int32_t{0x04030201}},
        {"double word of zero bytes", "v", REG_DWORD, "", std::int32_t{0}},
        {"big-endian double word of two bytes", "v", REG_DWORD_BIG_ENDIAN, "\x12\x34", std::int32_t{0x12340000}},
        {"binary gets one zero element more", "v", REG_BINARY, "\x01\x02\xFF", Bytes({1, 2, 255, 0})},
        {"binary of zero bytes", "v", REG_BINARY, "", Bytes({0})},
        {"none", "v", REG_NONE, "\x07", Bytes({7, 0})},
        {"link", "v", REG_LINK, "ab", Bytes({'a', 'b', 0})},
        {"resource list and above", "v", REG_RESOURCE_LIST, "\x05", Bytes({5, 0})},
        {"unknown type code", "v", 0x1234, "\x09", Bytes({9, 0})},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchKey scratch;
        SetRaw(HKEY_CURRENT_USER, scratch.Path(), c.valueName, c.storedType, c.storedBytes);
        cRegistry registry = At(scratch.Path(), c.valueName);
        registry.ValueType(99);
        registry.Default("fallback");
        EXPECT_EQ(registry.value(), c.expected);
        EXPECT_EQ(registry.ValueType(), c.storedType);
    }
}

TEST(RegistryRead, FallsBackToACopyOfDefaultAndKeepsValueType) {
    const RegistryValue defaults[] = {
        RegistryValue(), RegistryValue(std::int16_t{-7}), RegistryValue(std::int32_t{70000}), RegistryValue("-1"),
        RegistryValue(Bytes({1, 2}, 5)),
    };
    struct Address {
        const char* name;
        std::int32_t root;
        std::string section;
        std::string value;
    };
    ScratchKey scratch;
    SetRaw(HKEY_CURRENT_USER, scratch.Path(), "present", REG_SZ, std::string("x\0", 2));
    const Address addresses[] = {
        {"missing value", kCurrentUser, scratch.Path(), "absent"},
        {"missing unnamed value", kCurrentUser, scratch.Path(), ""},
        {"missing key", kCurrentUser, scratch / "no\\such\\key", "present"},
        {"no root", 0, scratch.Path(), "present"},
    };
    for (const Address& address : addresses) {
        for (const RegistryValue& fallback : defaults) {
            SCOPED_TRACE(std::string(address.name) + ", Default " + testing::PrintToString(fallback));
            cRegistry registry;
            registry.ClassKey(address.root);
            registry.SectionKey(address.section);
            registry.ValueKey(address.value);
            registry.ValueType(REG_DWORD_BIG_ENDIAN);
            registry.Default(fallback);
            EXPECT_EQ(registry.value(), fallback);
            EXPECT_EQ(registry.ValueType(), static_cast<DWORD>(REG_DWORD_BIG_ENDIAN));
        }
    }
    cRegistry fresh = At(scratch.Path(), "absent");
    EXPECT_TRUE(fresh.value().IsEmpty());
    EXPECT_EQ(fresh.ValueType(), static_cast<DWORD>(REG_NONE));
}

struct TextWriteCase {
    const char* name;
    DWORD valueType;
    RegistryValue written;
    DWORD storedType;
    std::string storedText;
};

TEST(RegistryWrite, TextIsStoredWithItsNulAndExpandableByPercentSigns) {
    const TextWriteCase cases[] = {
        {"reference written as plain text", REG_SZ, "%PATH%;x", REG_EXPAND_SZ, "%PATH%;x"},
        {"single percent written as expandable", REG_EXPAND_SZ, "50%", REG_SZ, "50%"},
        {"two adjacent percent signs", REG_SZ, "%%", REG_SZ, "%%"},
        {"adjacent pair then a third", REG_SZ, "%%%", REG_EXPAND_SZ, "%%%"},
        {"adjacent pair inside text", REG_EXPAND_SZ, "a%%b", REG_SZ, "a%%b"},
        {"two percentages", REG_SZ, "5% of 7%", REG_EXPAND_SZ, "5% of 7%"},
        {"reference then path", REG_SZ, "%TEMP%\\x", REG_EXPAND_SZ, "%TEMP%\\x"},
        {"trailing percent", REG_SZ, "100%", REG_SZ, "100%"},
        {"empty text", REG_SZ, "", REG_SZ, ""},
        {"nothing", REG_SZ, RegistryValue(), REG_SZ, ""},
        {"32-bit integer in decimal", REG_SZ, std::int32_t{-42}, REG_SZ, "-42"},
        {"16-bit integer in decimal", REG_EXPAND_SZ, std::int16_t{7}, REG_SZ, "7"},
    };
    for (const TextWriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchKey scratch;
        cRegistry registry = At(scratch.Path(), "v");
        registry.ValueType(c.valueType);
        registry.value(c.written);
        const auto stored = ReadRaw(HKEY_CURRENT_USER, scratch.Path(), "v");
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->Type, c.storedType);
        EXPECT_EQ(stored->Bytes, c.storedText + std::string(1, '\0'));
        EXPECT_EQ(registry.ValueType(), c.valueType);
    }
}

TEST(RegistryWrite, IntegersAreStoredAsDoubleWordInMachineOrder) {
    struct Case {
        const char* name;
        DWORD valueType;
        RegistryValue written;
        std::string storedBytes;
        std::int32_t readBack;
    };
    const Case cases[] = {
        {"32-bit as double word", REG_DWORD, std::int32_t{0x12345678}, "\x78\x56\x34\x12", 0x12345678},
        {"32-bit as big-endian", REG_DWORD_BIG_ENDIAN, std::int32_t{0x12345678}, "\x78\x56\x34\x12", 0x12345678},
        {"negative 16-bit is widened", REG_DWORD, std::int16_t{-2}, "\xFE\xFF\xFF\xFF", -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchKey scratch;
        cRegistry registry = At(scratch.Path(), "n");
        registry.ValueType(c.valueType);
        registry.value(c.written);
        const auto stored = ReadRaw(HKEY_CURRENT_USER, scratch.Path(), "n");
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->Type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(stored->Bytes, c.storedBytes);
        EXPECT_EQ(registry.value(), RegistryValue(c.readBack));
        EXPECT_EQ(registry.ValueType(), static_cast<DWORD>(REG_DWORD));
    }
}

TEST(RegistryWrite, BinaryStoresTheElementsFromIndexZero) {
    struct Case {
        const char* name;
        ByteArray written;
        std::string storedBytes;
    };
    const Case cases[] = {
        {"zero-based", Bytes({1, 2, 3}), "\x01\x02\x03"},
        {"elements below index zero are left out", Bytes({9, 1, 2}, -1), "\x01\x02"},
        {"empty array", Bytes({}), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchKey scratch;
        cRegistry registry = At(scratch.Path(), "b");
        registry.ValueType(REG_BINARY);
        registry.value(c.written);
        const auto stored = ReadRaw(HKEY_CURRENT_USER, scratch.Path(), "b");
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->Type, static_cast<DWORD>(REG_BINARY));
        EXPECT_EQ(stored->Bytes, c.storedBytes);
    }
}

TEST(RegistryWrite, BinaryOfAnythingButAByteArrayRaisesWithoutSource) {
    const RegistryValue refused[] = {RegistryValue("01"), RegistryValue(std::int32_t{1}), RegistryValue(),
                                     RegistryValue(Bytes({1}, 1))};
    for (const RegistryValue& value : refused) {
        SCOPED_TRACE(testing::PrintToString(value));
        ScratchKey scratch;
        cRegistry registry = At(scratch.Path(), "b");
        registry.ValueType(REG_BINARY);
        ExpectError(RaisedBy([&] { registry.value(value); }), 26001, "", "");
        EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, scratch.Path(), "b"));
    }
}

TEST(RegistryWrite, RefusedWritesRaiseWithTheSetValueDescriptionAndKeepTheKey) {
    struct Case {
        const char* name;
        DWORD valueType;
        RegistryValue written;
        std::string shownValue;
    };
    const Case cases[] = {
        {"text as double word", REG_DWORD, "12", "12"},
        {"nothing as big-endian double word", REG_DWORD_BIG_ENDIAN, RegistryValue(), ""},
        {"multi-string", REG_MULTI_SZ, "a", "a"},
        {"none", REG_NONE, std::int32_t{5}, "5"},
        {"link", REG_LINK, "a", "a"},
        {"quad word, a type code the writes don't know", 11, "a", "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchKey scratch;
        const std::string section = scratch / "new\\key";
        cRegistry registry = At(section, "v");
        registry.ValueType(c.valueType);
        ExpectError(RaisedBy([&] { registry.value(c.written); }), registry_error::kSetValueFailed, Source(),
                    "Failed to set registry value Key: '-2147483647',Section: '" + section + "',Key: 'v' to value: '" +
                        c.shownValue + "'");
        EXPECT_TRUE(test::RawKeyExists(HKEY_CURRENT_USER, section));
        EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, section, "v"));
        EXPECT_EQ(registry.SectionKey(), section);
        EXPECT_EQ(registry.ValueKey(), "v");
        EXPECT_EQ(registry.ValueType(), c.valueType);
    }
}

TEST(RegistryWrite, DescribesAFailedWriteUnderTheLocalMachine) {
    const bool existed = test::RawKeyExists(HKEY_LOCAL_MACHINE, "Software\\Demo");
    cRegistry registry;
    registry.ClassKey(registry_root::kLocalMachine);
    registry.SectionKey("Software\\Demo");
    registry.ValueKey("Count");
    registry.ValueType(REG_MULTI_SZ);
    const AppError error = RaisedBy([&] { registry.value(std::int32_t{5}); });
    if (!existed) {
        test::RemoveKeyTree(HKEY_LOCAL_MACHINE, "Software\\Demo");
    }
    ExpectError(error, registry_error::kSetValueFailed, Source(),
                "Failed to set registry value Key: '-2147483646',Section: 'Software\\Demo',Key: 'Count' to value: '5'");
    EXPECT_EQ(error.Number(), -2147194455L);
}

TEST(RegistryWrite, KeyThatCannotBeCreatedRaises26001WithTheSetValueDescription) {
    ScratchKey scratch;
    cRegistry registry = At(scratch / "k", "v");
    registry.ClassKey(0);
    registry.ValueType(REG_BINARY);
    ExpectError(RaisedBy([&] { registry.value(Bytes({1, 2})); }), 26001, Source(),
                "Failed to set registry value Key: '0',Section: '" + scratch / "k" + "',Key: 'v' to value: '\x01\x02'");
}

TEST(RegistryWrite, CreatesTheKeyAndTheMissingKeysAboveIt) {
    ScratchKey scratch;
    cRegistry registry = At(scratch / "a\\b\\c", "v");
    registry.ValueType(REG_SZ);
    registry.value("deep");
    const auto stored = ReadRaw(HKEY_CURRENT_USER, scratch / "a\\b\\c", "v");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->Bytes, std::string("deep\0", 5));
}

TEST(RegistryKeys, KeyExistsOnlyForKeysThatOpen) {
    ScratchKey scratch;
    struct Case {
        const char* name;
        std::int32_t root;
        std::string section;
        bool exists;
    };
    const Case cases[] = {
        {"existing key", kCurrentUser, scratch.Path(), true},
        {"root itself", kCurrentUser, "", true},
        {"missing key", kCurrentUser, scratch / "absent", false},
        {"no root", 0, scratch.Path(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cRegistry registry;
        registry.ClassKey(c.root);
        registry.SectionKey(c.section);
        EXPECT_EQ(registry.KeyExists(), c.exists);
    }
}

TEST(RegistryKeys, CreateKeyMakesMissingParentsAndRaisesWhenItCannot) {
    ScratchKey scratch;
    cRegistry registry = At(scratch / "x\\y\\z");
    EXPECT_TRUE(registry.CreateKey());
    EXPECT_TRUE(test::RawKeyExists(HKEY_CURRENT_USER, scratch / "x\\y\\z"));
    EXPECT_TRUE(registry.CreateKey()) << "an existing key is opened";

    registry.ClassKey(0);
    ExpectError(RaisedBy([&] { registry.CreateKey(); }), 26001, Source(),
                "Failed to create registry Key: '" + scratch / "x\\y\\z");
}

TEST(RegistryKeys, DeleteKeyRemovesALeafAndRefusesAKeyWithSubkeys) {
    ScratchKey scratch;
    SetRaw(HKEY_CURRENT_USER, scratch / "parent\\child", "v", REG_SZ, std::string("x\0", 2));
    cRegistry registry = At(scratch / "parent");
    ExpectError(RaisedBy([&] { registry.DeleteKey(); }), 26001, Source(),
                "Failed to delete registry Key: '-2147483647',Section: '" + scratch / "parent");
    EXPECT_TRUE(test::RawKeyExists(HKEY_CURRENT_USER, scratch / "parent\\child"));

    registry.SectionKey(scratch / "parent\\child");
    EXPECT_TRUE(registry.DeleteKey());
    EXPECT_FALSE(test::RawKeyExists(HKEY_CURRENT_USER, scratch / "parent\\child"));
    EXPECT_THROW(registry.DeleteKey(), AppError) << "a missing key can't be deleted";
}

TEST(RegistryKeys, DeleteValueRaisesWithTheOpenOrTheDeleteDescription) {
    ScratchKey scratch;
    SetRaw(HKEY_CURRENT_USER, scratch.Path(), "v", REG_SZ, std::string("x\0", 2));
    cRegistry registry = At(scratch.Path(), "v");
    EXPECT_TRUE(registry.DeleteValue());
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, scratch.Path(), "v"));

    ExpectError(RaisedBy([&] { registry.DeleteValue(); }), 26001, Source(),
                "Failed to delete registry Key: '-2147483647',Section: '" + scratch.Path() + "',Key: 'v");

    registry.SectionKey(scratch / "absent");
    ExpectError(RaisedBy([&] { registry.DeleteValue(); }), 26001, Source(),
                "Failed to open key '-2147483647',Section: '" + scratch / "absent" + "' for delete access");
}

// What the platform's own enumeration lists, in its order.
std::vector<std::string> PlatformValueNames(const std::string& path) {
    std::vector<std::string> names;
    RegKey key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, key.put()), ERROR_SUCCESS);
    char name[1024];
    DWORD length = sizeof name;
    for (DWORD index = 0; RegEnumValueA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) == 0;
         ++index, length = sizeof name) {
        names.emplace_back(name, length);
    }
    return names;
}

TEST(RegistryEnumeration, ValuesAreListedInThePlatformOrderFromIndexOne) {
    ScratchKey scratch;
    const std::string longName(300, 'L');
    for (const std::string& name : {std::string("zeta"), std::string("alpha"), longName, std::string("")}) {
        SetRaw(HKEY_CURRENT_USER, scratch.Path(), name, REG_SZ, std::string("x\0", 2));
    }
    std::vector<std::string> names{"stale"};
    long count = -5;
    EXPECT_TRUE(At(scratch.Path()).EnumerateValues(names, count));
    EXPECT_EQ(count, 4);
    EXPECT_EQ(names, PlatformValueNames(scratch.Path()));
    EXPECT_NE(std::find(names.begin(), names.end(), longName), names.end());
}

TEST(RegistryEnumeration, MissingOrEmptyKeysGiveTrueAndAnEmptyList) {
    ScratchKey scratch;
    struct Case {
        const char* name;
        std::int32_t root;
        std::string section;
    };
    const Case cases[] = {
        {"missing key", kCurrentUser, scratch / "absent"},
        {"key without values or subkeys", kCurrentUser, scratch.Path()},
        {"no root", 0, scratch.Path()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cRegistry registry;
        registry.ClassKey(c.root);
        registry.SectionKey(c.section);
        std::vector<std::string> names{"stale"};
        long count = -5;
        EXPECT_TRUE(registry.EnumerateValues(names, count));
        EXPECT_EQ(count, 0);
        EXPECT_TRUE(names.empty());
        names = {"stale"};
        count = -5;
        EXPECT_TRUE(registry.EnumerateSections(names, count));
        EXPECT_EQ(count, 0);
        EXPECT_TRUE(names.empty());
    }
}

TEST(RegistryEnumeration, SectionsIncludeNamesOfTheLongestAllowedLength) {
    ScratchKey scratch;
    const std::string longest(255, 'k');
    for (const std::string& name : {std::string("b"), longest, std::string("a"), std::string("c")}) {
        // Wine's ANSI create refuses a 255-character name (234); the wide call takes it.
        RegKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, AnsiToWide(scratch / name).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
    }
    SetRaw(HKEY_CURRENT_USER, scratch.Path(), "value", REG_SZ, std::string("x\0", 2));
    std::vector<std::string> names;
    long count = 0;
    EXPECT_TRUE(At(scratch.Path()).EnumerateSections(names, count));
    EXPECT_EQ(count, 4);
    // The platform lists subkeys by name.
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c", longest}));
}

// Run by its own ctest entry with Wine's locale set to Japanese (LC_ALL=ja_JP.UTF-8): on code page 932 a
// Japanese character takes two bytes, so these names are longer in bytes than the registry counts them.
TEST(RegistryEnumeration, DoubleByteNamesAreAllListedOnCodePage932) {
    if (GetACP() != 932) {
        GTEST_SKIP() << "needs the ANSI code page 932 (LC_ALL=ja_JP.UTF-8 under Wine); this one is " << GetACP();
    }
    const std::wstring nihongo = L"\u65E5\u672C\u8A9E";
    std::wstring longName;  // 240 characters, 480 bytes: beyond a 256-byte buffer
    while (longName.size() < 240) {
        longName += nihongo;
    }
    ScratchKey scratch;
    RegKey parent;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, AnsiToWide(scratch.Path()).c_str(), 0, KEY_ALL_ACCESS, parent.put()),
              ERROR_SUCCESS);
    std::vector<std::string> expected;
    for (const std::wstring& name : {std::wstring(L"alpha"), nihongo, longName, std::wstring(L"zeta")}) {
        RegKey subkey;
        ASSERT_EQ(RegCreateKeyExW(parent.get(), name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, subkey.put(),
                                  nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(parent.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4),
                  ERROR_SUCCESS);
        expected.push_back(WideToAnsi(name));
    }
    ASSERT_EQ(expected[1].size(), 6u) << "not a double-byte code page";
    std::sort(expected.begin(), expected.end());
    for (const bool values : {true, false}) {
        SCOPED_TRACE(values ? "values" : "subkeys");
        std::vector<std::string> names;
        long count = 0;
        EXPECT_TRUE(values ? At(scratch.Path()).EnumerateValues(names, count)
                           : At(scratch.Path()).EnumerateSections(names, count));
        EXPECT_EQ(count, 4);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, expected);
    }
}

TEST(RegistryState, OperationsLeaveTheAddressAlone) {
    ScratchKey scratch;
    cRegistry registry = At(scratch / "k", "v");
    registry.ValueType(REG_SZ);
    registry.value("x");
    registry.Default(std::int16_t{3});
    std::vector<std::string> names;
    long count = 0;
    registry.KeyExists();
    registry.CreateKey();
    registry.value();
    registry.EnumerateValues(names, count);
    registry.EnumerateSections(names, count);
    registry.DeleteValue();
    registry.DeleteKey();
    EXPECT_EQ(registry.ClassKey(), kCurrentUser);
    EXPECT_EQ(registry.SectionKey(), scratch / "k");
    EXPECT_EQ(registry.ValueKey(), "v");
    EXPECT_EQ(registry.Default(), RegistryValue(std::int16_t{3}));
    EXPECT_EQ(registry.ValueType(), static_cast<DWORD>(REG_SZ));
}

}  // namespace
}  // namespace orlenta
