#include "tools/RegValue.h"

#include <charconv>

namespace modReg {

std::string ValueText(const Value& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        return *text;
    }
    if (const auto* number = std::get_if<std::uint32_t>(&value)) {
        return std::to_string(*number);
    }
    return {};
}

std::optional<std::uint32_t> NumberFrom(const Value& value) {
    if (const auto* number = std::get_if<std::uint32_t>(&value)) {
        return *number;
    }
    const auto* text = std::get_if<std::string>(&value);
    if (text == nullptr) {
        return std::nullopt;
    }
    const std::size_t first = text->find_first_not_of(' ');
    const std::size_t last = text->find_last_not_of(' ');
    if (first == std::string::npos) {
        return std::nullopt;
    }
    std::string digits = text->substr(first, last - first + 1);
    const bool negative = digits.front() == '-';
    if (negative || digits.front() == '+') {
        digits.erase(0, 1);
    }
    std::uint64_t number = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    if (negative ? number > 0x80000000ULL : number > 0xFFFFFFFFULL) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(negative ? (0x100000000ULL - number) & 0xFFFFFFFFULL
                                               : number);
}

} // namespace modReg
