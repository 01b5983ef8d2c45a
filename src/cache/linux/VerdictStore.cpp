#include "cache/VerdictStore.h"

#include "cache/CacheError.h"
#include "platform/linux/SystemCall.h"

#include <atomic>
#include <fcntl.h>
#include <lmdb.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using platform::linux_calls::lastError;

const std::string kLockSuffix = "-lock";
const std::string kDamagedSuffix = ".damaged";
// What the store's own record says it is; another text is another program's file.
constexpr std::string_view kFormat = "kesto verdicts 2";
constexpr std::string_view kFormatKey = "format";
constexpr std::string_view kFingerprintKey = "fingerprint";
constexpr std::string_view kSerialKey = "serial";
constexpr std::string_view kNextVolumeKey = "next volume";
constexpr std::string_view kLastScanKey = "last scan";
/// Past three quarters of the limit in use, the oldest quarter of the entries is dropped, which
/// leaves room for many writes before the limit itself is near.
std::uint64_t evictionThreshold(std::uint64_t limit) {
    return limit - limit / 4;
}

class LmdbCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "lmdb"; }
    std::string message(int code) const override { return mdb_strerror(code); }
};

std::error_code lmdbError(int code) {
    // LMDB passes system errors on as they are.
    if (code > 0) {
        return {code, std::generic_category()};
    }
    static const LmdbCategory category;
    return {code, category};
}

MDB_val valueOf(std::string_view bytes) {
    return {bytes.size(), const_cast<char*>(bytes.data())};
}

std::string_view viewOf(const MDB_val& value) {
    return {static_cast<const char*>(value.mv_data), value.mv_size};
}

template <class T> std::string bigEndian(T value) {
    std::string bytes(sizeof(T), '\0');
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        bytes[i] =
            static_cast<char>(static_cast<std::uint64_t>(value) >> (8 * (sizeof(T) - 1 - i)));
    }
    return bytes;
}

template <class T> std::optional<T> fromBigEndian(std::string_view bytes) {
    if (bytes.size() != sizeof(T)) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char byte : bytes) {
        value = value << 8 | static_cast<unsigned char>(byte);
    }
    return static_cast<T>(value);
}

std::string volumeKey(std::uint64_t volumeId, std::uint64_t device) {
    return bigEndian(volumeId) + bigEndian(device);
}

bool damageCode(int code) {
    return code == MDB_CORRUPTED || code == MDB_PAGE_NOTFOUND || code == MDB_INVALID ||
           code == MDB_VERSION_MISMATCH || code == MDB_INCOMPATIBLE || code == MDB_BAD_TXN;
}

/// A transaction that is aborted unless it was committed.
class Transaction {
public:
    Transaction() = default;
    ~Transaction() { abort(); }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    int begin(MDB_env* env, unsigned flags) { return mdb_txn_begin(env, nullptr, flags, &m_txn); }
    int commit() {
        const int code = mdb_txn_commit(m_txn);
        m_txn = nullptr;
        return code;
    }
    void abort() {
        if (m_txn != nullptr) {
            mdb_txn_abort(m_txn);
            m_txn = nullptr;
        }
    }
    MDB_txn* get() const { return m_txn; }

private:
    MDB_txn* m_txn = nullptr;
};

} // namespace

struct VerdictStore::Environment {
    MDB_env* env = nullptr;
    MDB_dbi meta = 0;
    MDB_dbi volumes = 0;
    MDB_dbi entries = 0;
    int folder = -1; // a descriptor of the store's folder, for setting a damaged store aside
    std::uint64_t limit = 0;
    mutable std::mutex readersMutex;
    mutable std::vector<MDB_txn*> readers; // reset read transactions, renewed for each lookup
    mutable std::atomic<bool> damaged{false};

    ~Environment() {
        for (MDB_txn* txn : readers) {
            mdb_txn_abort(txn);
        }
        if (env != nullptr) {
            mdb_env_close(env);
        }
        if (folder >= 0) {
            if (damaged) {
                setAside(folder);
            }
            ::close(folder);
        }
    }

    static void setAside(int folder) {
        const std::string name(kFileName);
        ::renameat(folder, name.c_str(), folder, (name + kDamagedSuffix).c_str());
        ::unlinkat(folder, (name + kLockSuffix).c_str(), 0);
    }

    /// A read transaction of its own for one lookup, from the kept ones when there is one.
    MDB_txn* takeReader() const {
        {
            const std::lock_guard lock(readersMutex);
            if (!readers.empty()) {
                MDB_txn* txn = readers.back();
                readers.pop_back();
                if (mdb_txn_renew(txn) == MDB_SUCCESS) {
                    return txn;
                }
                mdb_txn_abort(txn);
            }
        }
        MDB_txn* txn = nullptr;
        if (mdb_txn_begin(env, nullptr, MDB_RDONLY, &txn) != MDB_SUCCESS) {
            return nullptr;
        }
        return txn;
    }

    void giveBack(MDB_txn* txn) const {
        mdb_txn_reset(txn);
        const std::lock_guard lock(readersMutex);
        readers.push_back(txn);
    }

    /// Looks `key` up in `dbi`; a code that shows damage marks the store damaged.
    std::optional<std::string_view> get(MDB_txn* txn, MDB_dbi dbi, std::string_view key) const {
        MDB_val k = valueOf(key);
        MDB_val v{};
        const int code = mdb_get(txn, dbi, &k, &v);
        if (code != MDB_SUCCESS) {
            if (code != MDB_NOTFOUND && damageCode(code)) {
                damaged = true;
            }
            return std::nullopt;
        }
        return viewOf(v);
    }

    bool fingerprintIs(MDB_txn* txn, std::string_view fingerprint) const {
        const auto stored = get(txn, meta, kFingerprintKey);
        return stored && *stored == fingerprint;
    }

    int put(MDB_txn* txn, MDB_dbi dbi, std::string_view key, std::string_view value) const {
        MDB_val k = valueOf(key);
        MDB_val v = valueOf(value);
        return mdb_put(txn, dbi, &k, &v, 0);
    }

    /// Bytes of the pages the store's trees use now.
    std::uint64_t bytesInUse(MDB_txn* txn) const {
        std::uint64_t pages = 0;
        std::uint64_t pageSize = 4096;
        for (const MDB_dbi dbi : {MDB_dbi{0}, MDB_dbi{1}, meta, volumes, entries}) {
            MDB_stat stat{};
            if (mdb_stat(txn, dbi, &stat) == MDB_SUCCESS) {
                pages += stat.ms_branch_pages + stat.ms_leaf_pages + stat.ms_overflow_pages;
                pageSize = stat.ms_psize;
            }
        }
        return pages * pageSize;
    }

    /// Drops the entries of the oldest scans, a quarter of all entries at least; an entry that
    /// does not decode goes too.
    int evictOldest(MDB_txn* txn) const {
        MDB_cursor* cursor = nullptr;
        if (const int code = mdb_cursor_open(txn, entries, &cursor); code != MDB_SUCCESS) {
            return code;
        }
        std::map<std::uint32_t, std::uint64_t> perSerial;
        std::uint64_t total = 0;
        MDB_val k{};
        MDB_val v{};
        for (int code = mdb_cursor_get(cursor, &k, &v, MDB_FIRST); code == MDB_SUCCESS;
             code = mdb_cursor_get(cursor, &k, &v, MDB_NEXT)) {
            const auto record = VerdictRecord::Decode(viewOf(v));
            ++perSerial[record ? record->serial : 0];
            ++total;
        }
        // Every entry up to `cutoff` goes, and of the entries of `cutoff` itself, `ofCutoff`.
        std::uint64_t toDrop = std::max<std::uint64_t>(total / 4, 1);
        std::uint32_t cutoff = 0;
        std::uint64_t ofCutoff = 0;
        for (const auto& [serial, count] : perSerial) {
            cutoff = serial;
            ofCutoff = std::min(count, toDrop);
            toDrop -= ofCutoff;
            if (toDrop == 0) {
                break;
            }
        }
        int code = mdb_cursor_get(cursor, &k, &v, MDB_FIRST);
        while (code == MDB_SUCCESS) {
            const auto record = VerdictRecord::Decode(viewOf(v));
            const std::uint32_t serial = record ? record->serial : 0;
            const bool drop = serial < cutoff || (serial == cutoff && ofCutoff > 0);
            if (drop) {
                ofCutoff -= serial == cutoff ? 1 : 0;
                if ((code = mdb_cursor_del(cursor, 0)) != MDB_SUCCESS) {
                    break;
                }
            }
            // After a deletion MDB_NEXT gives the entry that followed the one deleted.
            code = mdb_cursor_get(cursor, &k, &v, MDB_NEXT);
        }
        mdb_cursor_close(cursor);
        return code == MDB_NOTFOUND ? MDB_SUCCESS : code;
    }

    /// Empties the store and makes `fingerprint` its own.
    int reset(MDB_txn* txn, std::string_view fingerprint) const {
        for (const MDB_dbi dbi : {entries, volumes}) {
            if (const int code = mdb_drop(txn, dbi, 0); code != MDB_SUCCESS) {
                return code;
            }
        }
        if (const int code = put(txn, meta, kNextVolumeKey, bigEndian<std::uint32_t>(1));
            code != MDB_SUCCESS) {
            return code;
        }
        return put(txn, meta, kFingerprintKey, fingerprint);
    }

    /// The number of the volume, given one when it has none.
    int volumeNumber(MDB_txn* txn, std::uint64_t volumeId, std::uint64_t device,
                     std::uint32_t& number) const {
        const std::string key = volumeKey(volumeId, device);
        if (const auto known = get(txn, volumes, key)) {
            if (const auto value = fromBigEndian<std::uint32_t>(*known)) {
                number = *value;
                return MDB_SUCCESS;
            }
            return MDB_CORRUPTED;
        }
        const auto next = get(txn, meta, kNextVolumeKey);
        number = next ? fromBigEndian<std::uint32_t>(*next).value_or(1) : 1;
        if (const int code = put(txn, meta, kNextVolumeKey, bigEndian(number + 1));
            code != MDB_SUCCESS) {
            return code;
        }
        return put(txn, volumes, key, bigEndian(number));
    }

    /// Opens the store file; MDB_INVALID and its kin for a file that is damaged or not a store,
    /// with `reason` set where the code alone would not say why.
    int open(std::string& reason) {
        if (const int code = mdb_env_create(&env); code != MDB_SUCCESS) {
            env = nullptr;
            return code;
        }
        mdb_env_set_maxdbs(env, 4);
        mdb_env_set_mapsize(env, limit);
        // The store is reached through the folder descriptor held, so a folder renamed or replaced
        // meanwhile cannot redirect it.
        const std::string path =
            "/proc/self/fd/" + std::to_string(folder) + "/" + std::string(VerdictStore::kFileName);
        // NOTLS: read transactions move between threads. NOMETASYNC: a commit flushes the data, not
        // the header, so a power cut may lose the last commit but never leaves a damaged store.
        // NORDAHEAD: lookups hit single pages; reading ahead would only fill memory.
        if (const int code = mdb_env_open(
                env, path.c_str(), MDB_NOSUBDIR | MDB_NOTLS | MDB_NOMETASYNC | MDB_NORDAHEAD, 0600);
            code != MDB_SUCCESS) {
            return code;
        }
        int dead = 0;
        mdb_reader_check(env, &dead); // readers of processes that were killed
        // A file shorter than its pages would fault on the first read of a missing page.
        MDB_envinfo info{};
        MDB_stat stat{};
        struct stat file {};
        int fd = -1;
        if (mdb_env_info(env, &info) != MDB_SUCCESS || mdb_env_stat(env, &stat) != 0 ||
            mdb_env_get_fd(env, &fd) != MDB_SUCCESS || ::fstat(fd, &file) != 0) {
            return MDB_INVALID;
        }
        const auto needed = static_cast<std::uint64_t>(info.me_last_pgno + 1) * stat.ms_psize;
        if (static_cast<std::uint64_t>(file.st_size) < needed) {
            reason = "shorter than its content";
            return MDB_INVALID;
        }
        if (needed > limit) {
            reason = "larger than its limit";
            return MDB_INVALID;
        }
        return openTables();
    }

    /// Opens the store's three tables, making them in a new store; MDB_INCOMPATIBLE when the
    /// file is another program's.
    int openTables() {
        Transaction txn;
        if (const int code = txn.begin(env, MDB_RDONLY); code != MDB_SUCCESS) {
            return code;
        }
        const bool present = mdb_dbi_open(txn.get(), "meta", 0, &meta) == MDB_SUCCESS &&
                             mdb_dbi_open(txn.get(), "volumes", 0, &volumes) == MDB_SUCCESS &&
                             mdb_dbi_open(txn.get(), "entries", 0, &entries) == MDB_SUCCESS;
        if (present) {
            const auto format = get(txn.get(), meta, kFormatKey);
            if (!format || *format != kFormat) {
                return MDB_INCOMPATIBLE;
            }
            return txn.commit();
        }
        // Anything in a store without all three tables is not ours.
        MDB_stat main{};
        if (const int code = mdb_stat(txn.get(), 1, &main); code != MDB_SUCCESS) {
            return code;
        }
        if (main.ms_entries != 0) {
            return MDB_INCOMPATIBLE;
        }
        txn.abort();
        if (const int code = txn.begin(env, 0); code != MDB_SUCCESS) {
            return code;
        }
        for (const auto& [name, dbi] : {std::pair{"meta", &meta}, std::pair{"volumes", &volumes},
                                        std::pair{"entries", &entries}}) {
            if (const int code = mdb_dbi_open(txn.get(), name, MDB_CREATE, dbi);
                code != MDB_SUCCESS) {
                return code;
            }
        }
        if (const int code = put(txn.get(), meta, kFormatKey, kFormat); code != MDB_SUCCESS) {
            return code;
        }
        return txn.commit();
    }
};

namespace {

/// Refuses a store file (or its lock file) that another user owns, others may change, or that is
/// not a plain file; a missing one is fine.
std::error_code checkFile(int folder, const std::string& name) {
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? std::error_code() : lastError();
    }
    if (!S_ISREG(info.st_mode)) {
        return make_error_code(CacheError::NotAFile);
    }
    if (info.st_uid != ::geteuid()) {
        return make_error_code(CacheError::ForeignOwner);
    }
    if ((info.st_mode & 0022) != 0) {
        return make_error_code(CacheError::OpenToOthers);
    }
    return {};
}

} // namespace

VerdictStore::VerdictStore(std::unique_ptr<Environment> environment)
    : m_environment(std::move(environment)) {}

VerdictStore::~VerdictStore() = default;

std::unique_ptr<VerdictStore> VerdictStore::Open(const platform::FolderHandle& folder,
                                                 std::uint64_t limit, std::string& warning,
                                                 std::error_code& error) {
    const std::string name(kFileName);
    for (const std::string& file : {name, name + kLockSuffix}) {
        if ((error = checkFile(folder.fd(), file))) {
            return nullptr;
        }
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto environment = std::make_unique<Environment>();
        environment->limit = limit;
        environment->folder = ::fcntl(folder.fd(), F_DUPFD_CLOEXEC, 0);
        if (environment->folder < 0) {
            error = lastError();
            return nullptr;
        }
        std::string reason;
        const int code = environment->open(reason);
        if (code == MDB_SUCCESS) {
            error.clear();
            return std::unique_ptr<VerdictStore>(new VerdictStore(std::move(environment)));
        }
        error = lmdbError(code);
        // A system error (no space, no permission) is no reason to throw the store away.
        if (code > 0 || attempt > 0) {
            return nullptr;
        }
        Environment::setAside(environment->folder);
        warning = "the verdict cache was damaged (" + (reason.empty() ? error.message() : reason) +
                  "); set aside as '" + name + kDamagedSuffix + "' and started anew";
    }
    return nullptr;
}

std::optional<std::uint32_t> VerdictStore::findVolume(std::string_view fingerprint,
                                                      std::uint64_t volumeId,
                                                      std::uint64_t device) const {
    const Environment& store = *m_environment;
    MDB_txn* txn = store.takeReader();
    if (txn == nullptr) {
        return std::nullopt;
    }
    std::optional<std::uint32_t> number;
    if (store.fingerprintIs(txn, fingerprint)) {
        if (const auto value = store.get(txn, store.volumes, volumeKey(volumeId, device))) {
            number = fromBigEndian<std::uint32_t>(*value);
        }
    }
    store.giveBack(txn);
    return number;
}

std::optional<VerdictRecord> VerdictStore::find(std::string_view fingerprint, std::uint32_t volume,
                                                std::uint64_t inode) const {
    const Environment& store = *m_environment;
    if (store.damaged) {
        return std::nullopt;
    }
    MDB_txn* txn = store.takeReader();
    if (txn == nullptr) {
        return std::nullopt;
    }
    std::optional<VerdictRecord> record;
    // The fingerprint is read in the same snapshot as the entry: a store emptied for another
    // fingerprint meanwhile never hands out an entry of the old one.
    if (store.fingerprintIs(txn, fingerprint)) {
        const VerdictRecord::Key key = VerdictRecord::EncodeKey(volume, inode);
        if (const auto value = store.get(txn, store.entries, {key.data(), key.size()})) {
            record = VerdictRecord::Decode(*value);
            if (!record) {
                store.damaged = true;
            }
        }
    }
    store.giveBack(txn);
    return record;
}

std::uint32_t VerdictStore::startScan() {
    const Environment& store = *m_environment;
    Transaction txn;
    if (txn.begin(store.env, 0) != MDB_SUCCESS) {
        return 1;
    }
    const auto stored = store.get(txn.get(), store.meta, kSerialKey);
    const std::uint32_t serial =
        (stored ? fromBigEndian<std::uint32_t>(*stored).value_or(0) : 0) + 1;
    if (store.put(txn.get(), store.meta, kSerialKey, bigEndian(serial)) == MDB_SUCCESS) {
        txn.commit();
    }
    return serial;
}

std::error_code VerdictStore::write(std::string_view fingerprint, std::uint32_t serial,
                                    std::span<const PendingVerdict> pending) {
    const Environment& store = *m_environment;
    if (store.damaged) {
        return lmdbError(MDB_CORRUPTED);
    }
    Transaction txn;
    if (const int code = txn.begin(store.env, 0); code != MDB_SUCCESS) {
        return lmdbError(code);
    }
    int code = MDB_SUCCESS;
    if (!store.fingerprintIs(txn.get(), fingerprint)) {
        code = store.reset(txn.get(), fingerprint);
    }
    if (code == MDB_SUCCESS && store.bytesInUse(txn.get()) > evictionThreshold(store.limit)) {
        code = store.evictOldest(txn.get());
    }
    // The files of a batch lie mostly on one volume.
    std::pair<std::string, std::uint32_t> lastVolume;
    for (const PendingVerdict& entry : pending) {
        if (code != MDB_SUCCESS) {
            break;
        }
        std::string key = volumeKey(entry.volumeId, entry.device);
        if (key != lastVolume.first) {
            code = store.volumeNumber(txn.get(), entry.volumeId, entry.device, lastVolume.second);
            lastVolume.first = std::move(key);
        }
        if (code == MDB_SUCCESS) {
            VerdictRecord record = entry.record;
            record.serial = serial;
            const auto k = VerdictRecord::EncodeKey(lastVolume.second, entry.inode);
            const auto v = record.encode();
            code = store.put(txn.get(), store.entries, {k.data(), k.size()}, {v.data(), v.size()});
        }
    }
    if (code == MDB_SUCCESS) {
        code = txn.commit();
    }
    if (damageCode(code)) {
        store.damaged = true;
    }
    return code == MDB_SUCCESS ? std::error_code() : lmdbError(code);
}

std::error_code VerdictStore::recordScan(std::uint64_t checked, std::uint64_t hits) {
    const Environment& store = *m_environment;
    Transaction txn;
    int code = txn.begin(store.env, 0);
    if (code == MDB_SUCCESS) {
        code = store.put(txn.get(), store.meta, kLastScanKey, bigEndian(checked) + bigEndian(hits));
    }
    if (code == MDB_SUCCESS) {
        code = txn.commit();
    }
    return code == MDB_SUCCESS ? std::error_code() : lmdbError(code);
}

std::error_code VerdictStore::clear() {
    const Environment& store = *m_environment;
    Transaction txn;
    int code = txn.begin(store.env, 0);
    if (code == MDB_SUCCESS) {
        code = store.reset(txn.get(), {});
    }
    if (code == MDB_SUCCESS) {
        MDB_val key = valueOf(kLastScanKey);
        code = mdb_del(txn.get(), store.meta, &key, nullptr);
        code = code == MDB_NOTFOUND ? MDB_SUCCESS : code;
    }
    if (code == MDB_SUCCESS) {
        code = txn.commit();
    }
    return code == MDB_SUCCESS ? std::error_code() : lmdbError(code);
}

VerdictStoreStats VerdictStore::stats() const {
    const Environment& store = *m_environment;
    VerdictStoreStats stats;
    stats.limit = store.limit;
    int fd = -1;
    struct stat file {};
    if (mdb_env_get_fd(store.env, &fd) == MDB_SUCCESS && ::fstat(fd, &file) == 0) {
        stats.bytes = static_cast<std::uint64_t>(file.st_blocks) * 512;
    }
    MDB_txn* txn = store.takeReader();
    if (txn == nullptr) {
        return stats;
    }
    MDB_stat entries{};
    if (mdb_stat(txn, store.entries, &entries) == MDB_SUCCESS) {
        stats.entries = entries.ms_entries;
    }
    if (const auto last = store.get(txn, store.meta, kLastScanKey); last && last->size() == 16) {
        stats.lastChecked = fromBigEndian<std::uint64_t>(last->substr(0, 8));
        stats.lastHits = fromBigEndian<std::uint64_t>(last->substr(8));
    }
    store.giveBack(txn);
    return stats;
}

bool VerdictStore::damaged() const {
    return m_environment->damaged;
}
