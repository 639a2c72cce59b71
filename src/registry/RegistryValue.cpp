// The value that travels through cRegistry's value and Default.
#include "registry/RegistryValue.h"

namespace orlenta {

std::optional<std::int32_t> RegistryValue::Integer() const noexcept {
    if (const auto* small = std::get_if<std::int16_t>(&value_)) {
        return *small;
    }
    if (const auto* number = std::get_if<std::int32_t>(&value_)) {
        return *number;
    }
    return std::nullopt;
}

std::string RegistryValue::ToText() const {
    if (const auto number = Integer()) {
        return std::to_string(*number);
    }
    if (const auto* text = Text()) {
        return *text;
    }
    if (const auto* bytes = Bytes()) {
        return std::string(bytes->Bytes.begin(), bytes->Bytes.end());
    }
    return {};
}

}  // namespace orlenta
