#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

/// Where an entry was listed, as one number: the source number in the top 16 bits, the line's
/// offset in its list in the low 48. A lower origin wins, so that the earliest source and then the
/// earliest line name a file.
struct EntryOrigin {
    static constexpr unsigned kOffsetBits = 48;
    static constexpr std::uint64_t kMaxOffset = (std::uint64_t{1} << kOffsetBits) - 1;

    static std::uint64_t of(std::uint16_t source, std::uint64_t offset) {
        return std::uint64_t{source} << kOffsetBits | offset;
    }
    static std::uint16_t source(std::uint64_t origin) {
        return static_cast<std::uint16_t>(origin >> kOffsetBits);
    }
    static std::uint64_t offset(std::uint64_t origin) { return origin & kMaxOffset; }
};

/// The listed digests of one length, packed tight: a million SHA-256 entries with sizes take 48
/// MB, and 2 MB more for the size filter. Each entry keeps its digest, its size when listed with
/// one, and its origin (EntryOrigin). Entries with a size are sorted by size and then digest, the
/// others by digest alone; of equal ones only the lowest origin is kept.
template <std::size_t Length> class DigestTable {
public:
    /// Byte arrays only, so that no padding lies between the records.
    struct Sized {
        std::uint8_t digest[Length];
        std::uint8_t size[8];
        std::uint8_t origin[8];
    };
    struct Unsized {
        std::uint8_t digest[Length];
        std::uint8_t origin[8];
    };
    static_assert(sizeof(Sized) == Length + 16 && sizeof(Unsized) == Length + 8);

    class Builder {
    public:
        void add(const std::uint8_t* digest, std::optional<std::uint64_t> size,
                 std::uint64_t origin) {
            if (size) {
                Sized& record = m_sized.push();
                std::memcpy(record.digest, digest, Length);
                store(record.size, *size);
                store(record.origin, origin);
            } else {
                Unsized& record = m_unsized.push();
                std::memcpy(record.digest, digest, Length);
                store(record.origin, origin);
            }
        }

        DigestTable build() && {
            DigestTable table;
            table.m_sized = std::move(m_sized).take();
            // A lambda rather than the function's address, so that the comparison is inlined into
            // the sort: a million records sort in half the time.
            std::sort(table.m_sized.begin(), table.m_sized.end(),
                      [](const Sized& a, const Sized& b) { return sizedBefore(a, b); });
            keepFirstOfEach(table.m_sized, [](const Sized& a, const Sized& b) {
                return load(a.size) == load(b.size) && std::memcmp(a.digest, b.digest, Length) == 0;
            });
            table.m_unsized = std::move(m_unsized).take();
            std::sort(table.m_unsized.begin(), table.m_unsized.end(),
                      [](const Unsized& a, const Unsized& b) { return unsizedBefore(a, b); });
            keepFirstOfEach(table.m_unsized, [](const Unsized& a, const Unsized& b) {
                return std::memcmp(a.digest, b.digest, Length) == 0;
            });
            table.m_guide.reserve(table.m_sized.size() / kGuideStep + 1);
            for (std::size_t i = 0; i < table.m_sized.size(); i += kGuideStep) {
                table.m_guide.push_back(load(table.m_sized[i].size));
            }
            table.fillSizeFilter();
            return table;
        }

    private:
        /// Records gathered in chunks, so that growing never copies what was gathered and the
        /// final array is allocated once at its exact size.
        template <typename Record> class Chunks {
        public:
            Record& push() {
                if (m_chunks.empty() || m_chunks.back().size() == m_chunks.back().capacity()) {
                    m_chunks.emplace_back();
                    m_chunks.back().reserve(std::clamp<std::size_t>(m_count, 256, kMaxChunk));
                }
                ++m_count;
                return m_chunks.back().emplace_back();
            }
            std::vector<Record> take() && {
                std::vector<Record> all;
                all.reserve(m_count);
                for (std::vector<Record>& chunk : m_chunks) {
                    all.insert(all.end(), chunk.begin(), chunk.end());
                    std::vector<Record>().swap(chunk);
                }
                m_chunks.clear();
                m_count = 0;
                return all;
            }

        private:
            static constexpr std::size_t kMaxChunk = 1 << 16;
            std::vector<std::vector<Record>> m_chunks;
            std::size_t m_count = 0;
        };

        /// Sorted records keep only the first of each run of equal keys: the lowest origin.
        template <typename Record, typename Same>
        static void keepFirstOfEach(std::vector<Record>& records, Same same) {
            records.erase(std::unique(records.begin(), records.end(), same), records.end());
            records.shrink_to_fit();
        }

        Chunks<Sized> m_sized;
        Chunks<Unsized> m_unsized;
    };

    /// Whether an entry with a size lists exactly this size.
    bool hasSize(std::uint64_t size) const {
        if (m_sized.empty() || !inSizeFilter(size)) {
            return false;
        }
        const auto [from, to] = blockOf(size);
        const auto at = std::lower_bound(
            m_sized.begin() + static_cast<std::ptrdiff_t>(from),
            m_sized.begin() + static_cast<std::ptrdiff_t>(to), size,
            [](const Sized& record, std::uint64_t wanted) { return load(record.size) < wanted; });
        return at != m_sized.end() && load(at->size) == size;
    }
    bool hasUnsized() const { return !m_unsized.empty(); }

    /// The lowest origin of an entry with this digest and either this size or none.
    std::optional<std::uint64_t> find(const std::uint8_t* digest, std::uint64_t size) const {
        std::optional<std::uint64_t> best;
        if (!m_sized.empty()) {
            Sized key{};
            std::memcpy(key.digest, digest, Length);
            store(key.size, size);
            const auto at = std::lower_bound(m_sized.begin(), m_sized.end(), key, sizedBefore);
            if (at != m_sized.end() && load(at->size) == size &&
                std::memcmp(at->digest, digest, Length) == 0) {
                best = load(at->origin);
            }
        }
        if (!m_unsized.empty()) {
            Unsized key{};
            std::memcpy(key.digest, digest, Length);
            const auto at =
                std::lower_bound(m_unsized.begin(), m_unsized.end(), key, unsizedBefore);
            if (at != m_unsized.end() && std::memcmp(at->digest, digest, Length) == 0 &&
                (!best || load(at->origin) < *best)) {
                best = load(at->origin);
            }
        }
        return best;
    }

    std::size_t count() const { return m_sized.size() + m_unsized.size(); }
    std::size_t memoryBytes() const {
        return m_sized.capacity() * sizeof(Sized) + m_unsized.capacity() * sizeof(Unsized) +
               (m_guide.capacity() + m_sizeFilter.capacity()) * sizeof(std::uint64_t);
    }

private:
    /// One bit for each of (at least 16 times as many as sized entries) slots that sizes are
    /// spread over: a clear bit answers most sizes no entry has with one memory read. Two bytes
    /// an entry; a listed size's bit is always set.
    static constexpr std::size_t kFilterBitsPerEntry = 16;

    static std::size_t filterSlot(std::uint64_t size, unsigned shift) {
        return static_cast<std::size_t>((size * 0x9E3779B97F4A7C15ULL) >> shift);
    }
    bool inSizeFilter(std::uint64_t size) const {
        const std::size_t slot = filterSlot(size, m_filterShift);
        return (m_sizeFilter[slot / 64] >> (slot % 64) & 1) != 0;
    }
    void fillSizeFilter() {
        if (m_sized.empty()) {
            return;
        }
        unsigned bits = 6; // at least one word
        while ((std::size_t{1} << bits) < m_sized.size() * kFilterBitsPerEntry && bits < 40) {
            ++bits;
        }
        m_filterShift = 64 - bits;
        m_sizeFilter.assign((std::size_t{1} << bits) / 64, 0);
        for (const Sized& record : m_sized) {
            const std::size_t slot = filterSlot(load(record.size), m_filterShift);
            m_sizeFilter[slot / 64] |= std::uint64_t{1} << (slot % 64);
        }
    }

    /// Every kGuideStep-th size, a small array that stays in the processor's cache: the size
    /// check that runs for every scanned file then touches few records of the big array.
    static constexpr std::size_t kGuideStep = 64;

    static std::uint64_t load(const std::uint8_t (&bytes)[8]) {
        std::uint64_t value = 0;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
    static void store(std::uint8_t (&bytes)[8], std::uint64_t value) {
        std::memcpy(bytes, &value, sizeof value);
    }

    static bool sizedBefore(const Sized& a, const Sized& b) {
        const std::uint64_t sizeA = load(a.size);
        const std::uint64_t sizeB = load(b.size);
        if (sizeA != sizeB) {
            return sizeA < sizeB;
        }
        const int order = std::memcmp(a.digest, b.digest, Length);
        return order != 0 ? order < 0 : load(a.origin) < load(b.origin);
    }
    static bool unsizedBefore(const Unsized& a, const Unsized& b) {
        const int order = std::memcmp(a.digest, b.digest, Length);
        return order != 0 ? order < 0 : load(a.origin) < load(b.origin);
    }

    /// The records among which the first one of at least `size` lies: guide entry g is the size
    /// of record g * kGuideStep.
    std::pair<std::size_t, std::size_t> blockOf(std::uint64_t size) const {
        const auto g = static_cast<std::size_t>(
            std::lower_bound(m_guide.begin(), m_guide.end(), size) - m_guide.begin());
        const std::size_t from = g == 0 ? 0 : (g - 1) * kGuideStep + 1;
        return {std::min(from, m_sized.size()), std::min(g * kGuideStep + 1, m_sized.size())};
    }

    std::vector<Sized> m_sized;
    std::vector<Unsized> m_unsized;
    std::vector<std::uint64_t> m_guide;
    std::vector<std::uint64_t> m_sizeFilter;
    unsigned m_filterShift = 64;
};
