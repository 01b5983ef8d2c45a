#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace modReg {

/// A value: nothing (could not be read), a text or a 32-bit number.
using Value = std::variant<std::monostate, std::string, std::uint32_t>;

/// The value as text, as a label shows it ("" for nothing).
std::string ValueText(const Value& value);

/// The value as a 32-bit number: a number as it is, a text as the classic conversion reads it
/// (blanks around it and a sign allowed, a negative number taken modulo 2^32); nothing for
/// nothing or a text that is not such a number.
std::optional<std::uint32_t> NumberFrom(const Value& value);

} // namespace modReg
