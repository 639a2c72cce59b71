// Decoding a registry value from its stored bytes and type: texts lose only their terminator,
// integers round-trip in both byte orders, other types keep every byte plus one zero, and no
// decoding reads past the data (the data lives in a buffer of exactly its size).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "registry/RegistryData.h"

using namespace orlenta;

namespace {

std::string Expanded(const std::string& text) { return "<" + text + ">"; }

// The first four bytes, least significant first, zero-filled: read by shifts, not by copying.
std::uint32_t LittleEndian(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && i < bytes.size(); ++i) value |= std::uint32_t{bytes[i]} << (8 * i);
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size == 0) return 0;
    const std::uint32_t type = input[0] < 0xF0 ? input[0] % 12 : 0xFFFFFF00u | input[0];
    const std::vector<std::uint8_t> data(input + 1, input + size);
    const RegistryValue value = DecodeRegistryData(type, data, Expanded);

    const std::string text(data.begin(), data.end() - (!data.empty() && data.back() == 0 ? 1 : 0));
    const std::uint32_t little = LittleEndian(data);
    switch (type) {
    case registry_type::kText:
    case registry_type::kMultiText:
        FUZZ_CHECK(value.Text() != nullptr && *value.Text() == text);
        break;
    case registry_type::kExpandText:
        FUZZ_CHECK(value.Text() != nullptr && *value.Text() == Expanded(text));
        break;
    case registry_type::kInteger:
    case registry_type::kBigEndianInteger: {
        const auto number = value.Integer();
        FUZZ_CHECK(value.GetKind() == RegistryValue::Kind::Integer32 && number.has_value());
        const auto stored = static_cast<std::uint32_t>(type == registry_type::kInteger ? *number : SwapByteOrder(*number));
        FUZZ_CHECK(stored == little);
        FUZZ_CHECK(SwapByteOrder(SwapByteOrder(*number)) == *number);
        // The integer written back in its stored byte order decodes to itself.
        const std::vector<std::uint8_t> written = {std::uint8_t(stored), std::uint8_t(stored >> 8),
                                                   std::uint8_t(stored >> 16), std::uint8_t(stored >> 24)};
        FUZZ_CHECK(DecodeRegistryData(type, written, Expanded) == value);
        break;
    }
    default: {
        std::vector<std::uint8_t> expected = data;
        expected.push_back(0);
        FUZZ_CHECK(value.Bytes() != nullptr && value.Bytes()->LowerBound == 0 && value.Bytes()->Bytes == expected);
        FUZZ_CHECK(value.Bytes()->UpperBound() == static_cast<long>(data.size()));
    }
    }
    return 0;
}
