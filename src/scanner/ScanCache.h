#pragma once

#include <memory>
#include <optional>
#include <string>

class ExtraSignatures;
class SignatureDatabase;
class VerdictCache;

/// The fingerprint of everything that decides a verdict on a file's content: the bytes of the
/// signature database, the built-in virus patterns, the program's version and the extra signature
/// sources (when given). None when the database cannot be read.
std::optional<std::string> VerdictFingerprint(const SignatureDatabase& database,
                                              const ExtraSignatures* extra = nullptr);

/// The verdict cache in `folder` (empty: DefaultCacheFolder()) for scans with `database` and
/// `extra`; none when it cannot be used, with the reason in `warning`. A cache that had to be set
/// aside and made anew comes with a warning too.
std::unique_ptr<VerdictCache> OpenScanCache(const SignatureDatabase& database,
                                            const std::string& folder, std::string& warning,
                                            const ExtraSignatures* extra = nullptr);
