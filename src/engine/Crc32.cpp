#include "engine/Crc32.h"

#include <cstring>

#ifdef KESTO_HAVE_ISAL
#include <isa-l/crc.h>
#endif

namespace crc32 {

namespace {

constexpr int kSlices = 16;

constexpr std::array<std::array<std::uint32_t, 256>, kSlices> makeSlicedTables() {
    std::array<std::array<std::uint32_t, 256>, kSlices> tables{};
    tables[0] = kTable;
    for (int slice = 1; slice < kSlices; ++slice) {
        for (std::size_t n = 0; n < 256; ++n) {
            const std::uint32_t previous = tables[slice - 1][n];
            tables[slice][n] = (previous >> 8) ^ kTable[previous & 0xFFu];
        }
    }
    return tables;
}

constexpr auto kSliced = makeSlicedTables();

std::uint32_t load32le(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

const unsigned char* bytesOf(std::string_view data) {
    return reinterpret_cast<const unsigned char*>(data.data());
}

} // namespace

std::uint32_t updateBytewise(std::uint32_t reg, std::string_view data) {
    for (const unsigned char b : data) {
        reg = (reg >> 8) ^ kTable[(reg ^ b) & 0xFFu];
    }
    return reg;
}

std::uint32_t updateSliced(std::uint32_t reg, std::string_view data) {
    const unsigned char* p = bytesOf(data);
    std::size_t n = data.size();
    while (n >= 16) {
        const std::uint32_t a = load32le(p) ^ reg;
        const std::uint32_t b = load32le(p + 4);
        const std::uint32_t c = load32le(p + 8);
        const std::uint32_t d = load32le(p + 12);
        reg = kSliced[15][a & 0xFF] ^ kSliced[14][(a >> 8) & 0xFF] ^ kSliced[13][(a >> 16) & 0xFF] ^
              kSliced[12][a >> 24] ^ kSliced[11][b & 0xFF] ^ kSliced[10][(b >> 8) & 0xFF] ^
              kSliced[9][(b >> 16) & 0xFF] ^ kSliced[8][b >> 24] ^ kSliced[7][c & 0xFF] ^
              kSliced[6][(c >> 8) & 0xFF] ^ kSliced[5][(c >> 16) & 0xFF] ^ kSliced[4][c >> 24] ^
              kSliced[3][d & 0xFF] ^ kSliced[2][(d >> 8) & 0xFF] ^ kSliced[1][(d >> 16) & 0xFF] ^
              kSliced[0][d >> 24];
        p += 16;
        n -= 16;
    }
    return updateBytewise(reg, {reinterpret_cast<const char*>(p), n});
}

std::uint32_t update(std::uint32_t reg, std::string_view data) {
#ifdef KESTO_HAVE_ISAL
    // ISA-L takes and returns the complemented register, as zlib's crc32 does.
    std::uint32_t crc = ~reg;
    // Its length parameter is 64-bit, so one call covers any buffer.
    crc = crc32_gzip_refl(crc, bytesOf(data), data.size());
    return ~crc;
#else
    return updateSliced(reg, data);
#endif
}

const char* backendName() {
#ifdef KESTO_HAVE_ISAL
    return "ISA-L crc32_gzip_refl";
#else
    return "slicing-by-16";
#endif
}

} // namespace crc32
