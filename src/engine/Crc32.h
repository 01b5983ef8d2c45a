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

/// x^n mod P in the reflected bit order (bit 31 holds x^0): multiplying a register by it moves
/// that register n bit positions further along the message.
constexpr std::uint32_t xPowerModP(unsigned n) {
    std::uint32_t value = 0x80000000u;
    for (unsigned i = 0; i < n; ++i) {
        value = (value & 1u) != 0 ? (value >> 1) ^ kReflectedPolynomial : value >> 1;
    }
    return value;
}

/// Carry-less multiplier that folds a 64-bit reflected half `distance` bits forward: x^distance
/// mod P reflected into 33 bits, so that the product lands aligned in a 128-bit lane.
constexpr std::uint64_t foldConstant(unsigned distance) {
    return std::uint64_t{xPowerModP(distance)} << 1;
}

/// floor(x^64 / P) reflected into 33 bits: the Barrett multiplier that estimates the quotient of a
/// 64-bit remainder by P.
constexpr std::uint64_t barrettConstant() {
    // P in the normal bit order, without its x^32 term.
    std::uint64_t normal = 0;
    for (int bit = 0; bit < 32; ++bit) {
        normal |= std::uint64_t{kReflectedPolynomial >> bit & 1u} << (31 - bit);
    }
    // Long division of x^64 by P; the leading quotient term x^32 leaves normal * x^32.
    std::uint64_t quotient = std::uint64_t{1} << 32;
    std::uint64_t remainder = normal << 32;
    for (int degree = 63; degree >= 32; --degree) {
        if ((remainder >> degree & 1u) != 0) {
            quotient |= std::uint64_t{1} << (degree - 32);
            remainder ^= std::uint64_t{1} << degree ^ normal << (degree - 32);
        }
    }
    std::uint64_t reflected = 0;
    for (int bit = 0; bit <= 32; ++bit) {
        reflected |= (quotient >> bit & 1u) << (32 - bit);
    }
    return reflected;
}

/// One table step per byte; the reference the faster loops must agree with.
std::uint32_t updateBytewise(std::uint32_t reg, std::string_view data);

/// Slicing-by-16: portable, sixteen table lookups per 16 bytes.
std::uint32_t updateSliced(std::uint32_t reg, std::string_view data);

/// Carry-less multiply folding of 8 x 32 bytes per step with 256-bit VPCLMULQDQ, for x86-64
/// processors with AVX2 and VPCLMULQDQ and buffers of 256 bytes or more; anything else takes the
/// library loop (ISA-L where built, else slicing-by-16).
std::uint32_t updateFolded256(std::uint32_t reg, std::string_view data);

/// The fastest loop this build and processor have.
std::uint32_t update(std::uint32_t reg, std::string_view data);

/// Name of the loop behind `update`, for benchmarks and `--version`.
const char* backendName();

} // namespace crc32
