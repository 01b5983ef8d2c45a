#include "scanner/ScanCache.h"

#include "cache/CacheFolder.h"
#include "cache/VerdictCache.h"
#include "engine/SignatureDatabase.h"
#include "engine/StringSignature.h"
#include "platform/Digest.h"
#include "product/Product.h"
#include "signatures/ExtraSignatures.h"

namespace {

/// Adds `text` with its length before it, so that no two different sequences of texts hash alike.
void addField(platform::Sha256& hash, std::string_view text) {
    hash.update(std::to_string(text.size()));
    hash.update(":");
    hash.update(text);
}

} // namespace

std::optional<std::string> VerdictFingerprint(const SignatureDatabase& database,
                                              const ExtraSignatures* extra) {
    platform::Sha256 hash;
    if (!hash.ready()) {
        return std::nullopt;
    }
    addField(hash, "kesto verdicts 2");
    addField(hash, Product::kVersion);
    for (const StringSignature::EntryFields& entry : StringSignature::VirusEntries()) {
        addField(hash, entry.pattern);
        addField(hash, entry.name);
        addField(hash, std::to_string(entry.size));
    }
    try {
        addField(hash, *database.content(0));
    } catch (const DatabaseError&) {
        return std::nullopt;
    }
    // Without extra sources the fingerprint is what it was before there were any.
    if (extra != nullptr && !extra->empty()) {
        addField(hash, "extra");
        addField(hash, extra->fingerprint());
    }
    return hash.hexDigest();
}

std::unique_ptr<VerdictCache> OpenScanCache(const SignatureDatabase& database,
                                            const std::string& folder, std::string& warning,
                                            const ExtraSignatures* extra) {
    const std::optional<std::string> fingerprint = VerdictFingerprint(database, extra);
    if (!fingerprint) {
        return nullptr; // the scan reports the database itself
    }
    return VerdictCache::Open(folder.empty() ? DefaultCacheFolder() : folder, *fingerprint,
                              warning);
}
