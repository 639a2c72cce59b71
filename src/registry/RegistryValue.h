// The value that travels through cRegistry's value and Default: empty, integer, text or byte array.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace orlenta {

// A one-dimensional byte array whose first element has index LowerBound.
struct ByteArray {
    long LowerBound = 0;
    std::vector<std::uint8_t> Bytes;

    // LowerBound - 1 when the array holds no element.
    long UpperBound() const noexcept { return LowerBound + static_cast<long>(Bytes.size()) - 1; }

    bool operator==(const ByteArray&) const = default;
};

class RegistryValue {
public:
    enum class Kind { Empty, Integer16, Integer32, Text, Bytes };

    RegistryValue() noexcept = default;
    RegistryValue(std::int16_t number) noexcept : value_(number) {}
    RegistryValue(std::int32_t number) noexcept : value_(number) {}
    RegistryValue(std::string text) noexcept : value_(std::move(text)) {}
    RegistryValue(const char* text) : value_(std::string(text)) {}
    RegistryValue(ByteArray bytes) noexcept : value_(std::move(bytes)) {}

    Kind GetKind() const noexcept { return static_cast<Kind>(value_.index()); }
    bool IsEmpty() const noexcept { return GetKind() == Kind::Empty; }

    // The 16-bit or 32-bit integer widened to 32 bits; nothing for the other kinds.
    std::optional<std::int32_t> Integer() const noexcept;
    // The stored text or byte array; null for the other kinds.
    const std::string* Text() const noexcept { return std::get_if<std::string>(&value_); }
    const ByteArray* Bytes() const noexcept { return std::get_if<ByteArray>(&value_); }

    // The value taken as text: empty gives "", integers their signed decimal form, and a byte
    // array its bytes read as characters of the ANSI code page.
    std::string ToText() const;

    bool operator==(const RegistryValue&) const = default;

private:
    // Alternatives in the order of Kind.
    std::variant<std::monostate, std::int16_t, std::int32_t, std::string, ByteArray> value_;
};

}  // namespace orlenta
