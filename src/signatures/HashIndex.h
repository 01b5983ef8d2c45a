#pragma once

#include "platform/FileHashes.h"
#include "signatures/DigestTable.h"
#include "signatures/HashList.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <tuple>

/// Every entry of every hash list, for the scan's questions: which digests are worth computing
/// for a file of a given size, and which entry lists a file. Names are not kept: an entry keeps
/// where its line is, and the name is read back from the list when a file matches. Entries
/// listing the same digest and size (or the same digest without a size) are kept once, as the one
/// from the lowest source number and then the earliest line.
class HashIndex {
public:
    class Builder {
    public:
        /// `source` numbers the list (a lower number wins); the entry's line offset must stay
        /// below 2^48, else the entry is left out and counted in `droppedEntries`.
        void add(const HashEntry& entry, std::uint16_t source);
        HashIndex build() &&;

    private:
        std::tuple<DigestTable<16>::Builder, DigestTable<20>::Builder, DigestTable<32>::Builder>
            m_tables;
        std::uint64_t m_dropped = 0;
    };

    /// Kinds worth computing for a file of `size` bytes: kinds with an entry of exactly that
    /// size, plus kinds with entries without a size when size <= maxUnsizedFileSize. 0: no hashing
    /// at all.
    platform::HashKinds kindsFor(std::uint64_t size, std::uint64_t maxUnsizedFileSize) const;

    struct Found {
        std::uint16_t source = 0;
        std::uint64_t lineOffset = 0;
    };
    /// The entry matching these digests (the kinds they hold) and this size; among several, the
    /// one from the lowest source number, then the earliest line.
    std::optional<Found> find(const platform::FileDigests& digests, std::uint64_t size) const;

    /// Entries held, duplicates counted once.
    std::uint64_t entryCount() const;
    bool hasUnsized() const;
    /// Entries whose line offset was too large to keep.
    std::uint64_t droppedEntries() const { return m_dropped; }
    std::size_t memoryBytes() const;

private:
    std::tuple<DigestTable<16>, DigestTable<20>, DigestTable<32>> m_tables;
    std::uint64_t m_dropped = 0;
};
