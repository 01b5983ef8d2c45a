#include "guard/GuardChecker.h"

#include "cache/VerdictCache.h"
#include "engine/KestoEngine.h"
#include "engine/SignatureDatabase.h"
#include "platform/ReadBuffer.h"

#include <chrono>

namespace {

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

GuardChecker::GuardChecker(const SignatureDatabase& database, VerdictCache* cache,
                           const ExtraSignatures* extra)
    : m_database(database), m_cache(cache), m_extra(extra) {
    refresh();
}

OpenFileVerdict GuardChecker::check(platform::InputFile& file, std::string_view name) {
    // Each checking thread reads into a buffer of its own, kept for its next file.
    thread_local platform::ReadBuffer buffer;
    const OpenFileContext context{
        m_database, m_round.load(std::memory_order_acquire), m_cache, nowNs, m_extra, name};
    return CheckOpenFile(file, name, context, buffer);
}

std::optional<OpenFileVerdict> GuardChecker::checkUnread(const platform::InputFile& file,
                                                         std::string_view name) {
    const OpenFileContext context{
        m_database, m_round.load(std::memory_order_acquire), m_cache, nullptr, m_extra, name};
    return CheckOpenFileFromCache(file, name, context);
}

void GuardChecker::refresh() {
    // The first lookup of a round looks at the database file, and reads it anew when it changed:
    // that happens here, before the checks (the answering thread's among them) see the round.
    const std::uint64_t round = m_database.startRound();
    try {
        KestoEngine::LookupChecksum(m_database, "0", round);
    } catch (const DatabaseError&) {
        // The checks report the lookup's failure themselves.
    }
    m_round.store(round, std::memory_order_release);
    if (m_cache != nullptr) {
        m_cache->beginScan(nowNs());
    }
}
