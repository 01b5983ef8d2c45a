#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

/// Property checks for the fuzz targets: a failed check prints what differed and aborts, so that
/// libFuzzer saves the input as a crash just as for a sanitizer report.
namespace fuzzcheck {

inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

/// `text` with every byte outside printable ASCII (and the backslash) as \xNN, for messages.
inline std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || c == '\\' || c == '"') {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02x", byte);
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

inline std::string describe(std::string_view text) {
    return quoted(text);
}
inline std::string describe(const std::string& text) {
    return quoted(text);
}
inline std::string describe(const char* text) {
    return quoted(text);
}
inline std::string describe(bool value) {
    return value ? "true" : "false";
}
template <typename T>
requires std::is_integral_v<T> std::string describe(T value) {
    return std::to_string(value);
}
template <typename T> std::string describe(const std::optional<T>& value) {
    return value ? describe(*value) : std::string("(none)");
}

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

template <typename A, typename B>
void checkEqual(const A& actual, const B& expected, const char* what, const char* file, int line) {
    if (!(actual == expected)) {
        std::fprintf(stderr, "%s:%d: check failed: %s\n  actual:   %s\n  expected: %s\n", file,
                     line, what, describe(actual).c_str(), describe(expected).c_str());
        std::fflush(stderr);
        std::abort();
    }
}

} // namespace fuzzcheck

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? static_cast<void>(0) : ::fuzzcheck::fail(#condition, __FILE__, __LINE__))
#define FUZZ_CHECK_EQ(actual, expected)                                                            \
    ::fuzzcheck::checkEqual((actual), (expected), #actual " == " #expected, __FILE__, __LINE__)
