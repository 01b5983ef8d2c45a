#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

/// The standard reflected CRC-32 (polynomial 0xEDB88320 reflected, as in zip and PNG), working on
/// the raw register: callers start from 0xFFFFFFFF and complement at the end.
namespace crc32 {

constexpr std::uint32_t kReflectedPolynomial = 0xEDB88320u;

constexpr std::array<std::uint32_t, 256> makeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t value = n;
        for (int round = 0; round < 8; ++round) {
            value = (value & 1u) != 0 ? (value >> 1) ^ kReflectedPolynomial : value >> 1;
        }
        table[n] = value;
    }
    return table;
}

inline constexpr std::array<std::uint32_t, 256> kTable = makeTable();

/// One table step per byte; the reference the faster loops must agree with.
std::uint32_t updateBytewise(std::uint32_t reg, std::string_view data);

/// Slicing-by-16: portable, sixteen table lookups per 16 bytes.
std::uint32_t updateSliced(std::uint32_t reg, std::string_view data);

/// The fastest loop this build has (ISA-L's carry-less multiply where available).
std::uint32_t update(std::uint32_t reg, std::string_view data);

/// Name of the loop behind `update`, for benchmarks and `--version`.
const char* backendName();

} // namespace crc32
