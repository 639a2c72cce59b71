// Registry listing: EnumerateValues on 10,000 values and EnumerateSections on 10,000 subkeys against
// a raw RegEnumValueA / RegEnumKeyA loop into a vector, five runs each, the two sides alternating.
// Works in a scratch key below HKEY_CURRENT_USER and removes it. Usage: bench_registry
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "registry/cRegistry.h"
#include "util/Handles.h"

namespace {

using orlenta::RegKey;
using orlenta::bench::NowMs;

constexpr int kRuns = 5;
constexpr int kEntries = 10000;
// One listing takes a few hundred milliseconds here; three to a sample smooth out the other loads of
// a shared machine.
constexpr int kListingsPerSample = 3;

std::string NameOf(const char* stem, int i) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%05d", stem, i);
    return name;
}

RegKey CreateKey(HKEY parent, const std::string& path) {
    RegKey key;
    if (RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        std::exit(1);
    }
    return key;
}

std::vector<std::string> RawValues(const std::string& path) {
    std::vector<std::string> names;
    RegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        return names;
    }
    char name[16384];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        if (RegEnumValueA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    return names;
}

std::vector<std::string> RawSubkeys(const std::string& path) {
    std::vector<std::string> names;
    RegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, key.put()) != ERROR_SUCCESS) {
        return names;
    }
    char name[256];
    for (DWORD index = 0; RegEnumKeyA(key.get(), index, name, sizeof name) == ERROR_SUCCESS; ++index) {
        names.emplace_back(name);
    }
    return names;
}

template <typename Ours, typename Reference>
void Compare(const char* what, Ours ours, Reference reference) {
    std::vector<double> oursMs;
    std::vector<double> referenceMs;
    for (int run = 0; run < kRuns; ++run) {
        size_t referenceCount = 0;
        size_t oursCount = 0;
        double start = NowMs();
        for (int i = 0; i < kListingsPerSample; ++i) {
            referenceCount = reference();
        }
        referenceMs.push_back((NowMs() - start) / kListingsPerSample);
        start = NowMs();
        for (int i = 0; i < kListingsPerSample; ++i) {
            oursCount = ours();
        }
        oursMs.push_back((NowMs() - start) / kListingsPerSample);
        if (oursCount != kEntries || referenceCount != kEntries) {
            std::fprintf(stderr, "%s: listed %zu and %zu of %d\n", what, oursCount, referenceCount, kEntries);
            std::exit(1);
        }
    }
    orlenta::bench::PrintRow(what, "10,000", "ms", orlenta::bench::Summarise(oursMs),
                             orlenta::bench::Summarise(referenceMs), "<= 1.1");
}

}  // namespace

int main() {
    const std::string scratch = "Software\\OrlentaBench" + std::to_string(GetCurrentProcessId());
    const std::string values = scratch + "\\Values";
    const std::string sections = scratch + "\\Sections";
    {
        const RegKey valueKey = CreateKey(HKEY_CURRENT_USER, values);
        const RegKey sectionKey = CreateKey(HKEY_CURRENT_USER, sections);
        for (int i = 0; i < kEntries; ++i) {
            const DWORD data = static_cast<DWORD>(i);
            RegSetValueExA(valueKey.get(), NameOf("Value", i).c_str(), 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&data), sizeof data);
            CreateKey(sectionKey.get(), NameOf("Section", i));
        }
    }

    orlenta::cRegistry registry;
    registry.ClassKey(orlenta::registry_root::kCurrentUser);
    Compare(
        "Registry listing (EnumerateValues)",
        [&] {
            registry.SectionKey(values);
            std::vector<std::string> names;
            long count = 0;
            registry.EnumerateValues(names, count);
            return names.size();
        },
        [&] { return RawValues(values).size(); });
    Compare(
        "Registry listing (EnumerateSections)",
        [&] {
            registry.SectionKey(sections);
            std::vector<std::string> names;
            long count = 0;
            registry.EnumerateSections(names, count);
            return names.size();
        },
        [&] { return RawSubkeys(sections).size(); });

    RegDeleteTreeA(HKEY_CURRENT_USER, scratch.c_str());
    return 0;
}
