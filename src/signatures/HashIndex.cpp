#include "signatures/HashIndex.h"

#include <utility>

namespace {

using platform::HashKind;

/// Calls visit(kind, table) for each kind's table of `tables`, in the order of the kinds.
template <typename Tables, typename Visit> void eachTable(Tables& tables, Visit visit) {
    visit(HashKind::Md5, std::get<0>(tables));
    visit(HashKind::Sha1, std::get<1>(tables));
    visit(HashKind::Sha256, std::get<2>(tables));
}

} // namespace

void HashIndex::Builder::add(const HashEntry& entry, std::uint16_t source) {
    if (entry.lineOffset > EntryOrigin::kMaxOffset) {
        ++m_dropped;
        return;
    }
    eachTable(m_tables, [&](HashKind kind, auto& table) {
        if (kind == entry.kind) {
            table.add(entry.digest.data(), entry.size, EntryOrigin::of(source, entry.lineOffset));
        }
    });
}

HashIndex HashIndex::Builder::build() && {
    HashIndex index;
    std::get<0>(index.m_tables) = std::move(std::get<0>(m_tables)).build();
    std::get<1>(index.m_tables) = std::move(std::get<1>(m_tables)).build();
    std::get<2>(index.m_tables) = std::move(std::get<2>(m_tables)).build();
    index.m_dropped = m_dropped;
    return index;
}

platform::HashKinds HashIndex::kindsFor(std::uint64_t size,
                                        std::uint64_t maxUnsizedFileSize) const {
    platform::HashKinds kinds = 0;
    eachTable(m_tables, [&](HashKind kind, const auto& table) {
        if ((table.hasUnsized() && size <= maxUnsizedFileSize) || table.hasSize(size)) {
            kinds |= platform::kindBit(kind);
        }
    });
    return kinds;
}

std::optional<HashIndex::Found> HashIndex::find(const platform::FileDigests& digests,
                                                std::uint64_t size) const {
    std::optional<std::uint64_t> best;
    eachTable(m_tables, [&](HashKind kind, const auto& table) {
        if (!digests.has(kind)) {
            return;
        }
        const auto origin = table.find(digests.of(kind).data(), size);
        if (origin && (!best || *origin < *best)) {
            best = origin;
        }
    });
    if (!best) {
        return std::nullopt;
    }
    return Found{EntryOrigin::source(*best), EntryOrigin::offset(*best)};
}

std::uint64_t HashIndex::entryCount() const {
    std::uint64_t count = 0;
    eachTable(m_tables, [&](HashKind, const auto& table) { count += table.count(); });
    return count;
}

bool HashIndex::hasUnsized() const {
    bool any = false;
    eachTable(m_tables, [&](HashKind, const auto& table) { any = any || table.hasUnsized(); });
    return any;
}

std::size_t HashIndex::memoryBytes() const {
    std::size_t bytes = sizeof(HashIndex);
    eachTable(m_tables, [&](HashKind, const auto& table) { bytes += table.memoryBytes(); });
    return bytes;
}
