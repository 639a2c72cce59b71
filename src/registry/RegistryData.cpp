// A registry value's stored bytes and type turned into a value; compiles without windows.h.
#include "registry/RegistryData.h"

#include <algorithm>
#include <cstring>

namespace orlenta {

std::int32_t SwapByteOrder(std::int32_t value) noexcept {
    const auto x = static_cast<std::uint32_t>(value);
    return static_cast<std::int32_t>((x >> 24) | ((x >> 8) & 0x0000FF00u) | ((x << 8) & 0x00FF0000u) | (x << 24));
}

std::string StoredText(const std::vector<std::uint8_t>& data) {
    std::string text(data.begin(), data.end());
    if (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    return text;
}

std::int32_t StoredInteger(const std::vector<std::uint8_t>& data) {
    // No memcpy from data(): an empty vector may give a null pointer, which memcpy must not get.
    std::uint8_t bytes[4] = {};
    std::copy_n(data.begin(), std::min<std::size_t>(data.size(), sizeof bytes), bytes);
    std::int32_t number = 0;
    std::memcpy(&number, bytes, sizeof number);
    return number;
}

RegistryValue DecodeRegistryData(std::uint32_t type, std::vector<std::uint8_t> data,
                                 std::string (*expandEnvironment)(const std::string&)) {
    switch (type) {
    case registry_type::kText:
    case registry_type::kMultiText:
        return StoredText(data);
    case registry_type::kExpandText:
        return expandEnvironment(StoredText(data));
    case registry_type::kInteger:
        return StoredInteger(data);
    case registry_type::kBigEndianInteger:
        return SwapByteOrder(StoredInteger(data));
    default:
        // Indices 0 to size: one zero element more than the bytes stored.
        data.push_back(0);
        return ByteArray{0, std::move(data)};
    }
}

}  // namespace orlenta
