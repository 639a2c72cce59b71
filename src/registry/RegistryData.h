// A registry value's stored bytes and type turned into the value cRegistry reads; compiles
// without windows.h (fuzzed natively).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "registry/RegistryValue.h"

namespace orlenta {

// The registry's type numbers this decoding tells apart (the platform's REG_... values).
namespace registry_type {
inline constexpr std::uint32_t kText = 1;              // REG_SZ
inline constexpr std::uint32_t kExpandText = 2;        // REG_EXPAND_SZ
inline constexpr std::uint32_t kInteger = 4;           // REG_DWORD
inline constexpr std::uint32_t kBigEndianInteger = 5;  // REG_DWORD_BIG_ENDIAN
inline constexpr std::uint32_t kMultiText = 7;         // REG_MULTI_SZ
}  // namespace registry_type

// The four bytes of a 32-bit value in reverse order.
std::int32_t SwapByteOrder(std::int32_t value) noexcept;
// Stored text: a terminating NUL is not part of it, but a last character stored without one is.
std::string StoredText(const std::vector<std::uint8_t>& data);
// The first four stored bytes, zero-filled when fewer were stored; never reads past the data.
std::int32_t StoredInteger(const std::vector<std::uint8_t>& data);

// The value for data of a stored type; expandable text goes through `expandEnvironment`.
RegistryValue DecodeRegistryData(std::uint32_t type, std::vector<std::uint8_t> data,
                                 std::string (*expandEnvironment)(const std::string&));

}  // namespace orlenta
