// verdict_store_bench: the persistent verdict cache (file identity -> what a scan learnt about the
// file's content) kept in LMDB next to the same cache kept in SQLite (a blob table and an integer
// column table), so that the store can be chosen by measurement. Each store runs in its own child
// process: it inserts N records in the order a folder walk meets the inodes, looks every key up in
// random order (1 and 2 threads) and in walk order, looks up N keys it does not hold, and prints
// its files' size on disk and the child's peak resident memory.
//
// Usage: verdict_store_bench [--records N] [--dir DIR]
//   --records N  records per store (default 1000000)
//   --dir DIR    folder for the store files (default: a new folder in $TMPDIR or /tmp, removed at
//                the end); each store's files are removed when its child is done

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <lmdb.h>
#include <memory>
#include <numeric>
#include <random>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

constexpr std::size_t kBatch = 16384;

/// Inode u64 and volume slot u32; numbers are big-endian, so that keys sort by inode.
using Key = std::array<std::uint8_t, 12>;
using Value = std::array<std::uint8_t, 34>;

struct Record {
    Key key;
    Value value;
};

/// The value's fields: size u32, modified ns i64, changed ns i64, crc32 u32, flags u8, pattern
/// index u8, scan serial u32, check u32 (CRC-32 of the 30 bytes before it).
struct Field {
    std::size_t offset, width;
};
constexpr Field kFields[] = {{0, 4}, {4, 8}, {12, 8}, {20, 4}, {24, 1}, {25, 1}, {26, 4}, {30, 4}};

void putBytes(std::uint8_t* at, std::uint64_t bits, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        at[width - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
}

std::int64_t getBytes(const std::uint8_t* at, std::size_t width) {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < width; ++i) {
        bits = bits << 8 | at[i];
    }
    return static_cast<std::int64_t>(bits);
}

std::int64_t getField(const Value& value, int field) {
    return getBytes(value.data() + kFields[field].offset, kFields[field].width);
}

void putField(Value& value, int field, std::uint64_t bits) {
    putBytes(value.data() + kFields[field].offset, bits, kFields[field].width);
}

struct Workload {
    std::vector<Record> present; // in walk order
    std::vector<Record> absent;  // keys the stores never hold, values unused
    std::vector<std::uint32_t> walk, shuffled;
};

/// Inodes as a folder walk meets them: runs of 1-200 mostly consecutive inodes (every fifth step
/// skips 1-3 deleted files), each run in its own randomly chosen range of 1,024 inodes; one run
/// in ten lies on volume slot 1-3, the rest on slot 0. Absent keys come from unused ranges.
Workload makeWorkload(std::size_t count) {
    std::mt19937_64 random(20240611);
    std::vector<std::uint64_t> ranges(count / 20 + 64);
    std::iota(ranges.begin(), ranges.end(), 0);
    std::shuffle(ranges.begin(), ranges.end(), random);
    std::size_t nextRange = 0;
    const auto walk = [&](std::vector<Record>& out) {
        while (out.size() < count) {
            const std::uint32_t slot = random() % 10 == 0 ? 1 + random() % 3 : 0;
            std::uint64_t inode = 11 + ranges.at(nextRange++) * 1024 + random() % 64;
            for (std::uint64_t left = 1 + random() % 200; left > 0 && out.size() < count; --left) {
                const std::uint64_t modified =
                    1'600'000'000'000'000'000 + random() % 200'000'000'000'000'000;
                const std::uint64_t fields[] = {random() >> (32 + random() % 32),
                                                modified,
                                                modified + random() % 1000,
                                                random() & 0xFFFFFFFF,
                                                random() % 4,
                                                random() % 50 == 0 ? random() % 14 : 255,
                                                1};
                Value value{};
                for (int field = 0; field < 7; ++field) {
                    putField(value, field, fields[field]);
                }
                putField(value, 7, crc32(0, value.data(), 30));
                Key key{};
                putBytes(key.data(), inode, 8);
                putBytes(key.data() + 8, slot, 4);
                out.push_back({key, value});
                inode += random() % 5 == 0 ? 2 + random() % 3 : 1;
            }
        }
    };
    Workload work;
    work.present.reserve(count);
    work.absent.reserve(count);
    walk(work.present);
    walk(work.absent);
    work.walk.resize(count);
    std::iota(work.walk.begin(), work.walk.end(), 0);
    work.shuffled = work.walk;
    std::shuffle(work.shuffled.begin(), work.shuffled.end(), random);
    return work;
}

[[noreturn]] void fail(const char* what, const char* why) {
    std::fprintf(stderr, "verdict_store_bench: %s: %s\n", what, why);
    std::exit(1);
}

class Store {
public:
    virtual ~Store() = default;
    virtual void insert(const std::vector<Record>& records) = 0;
    /// Opens `threads` readers (closing earlier ones); each is used by one thread at a time.
    virtual void openReaders(int threads) = 0;
    /// Copies the value stored for `key` into `value`; false when the store lacks the key.
    virtual bool find(int reader, const Key& key, Value& value) = 0;
};

/// MDB_NOMETASYNC: each commit flushes the data pages but not the meta page, so a killed process
/// loses nothing and a power cut at worst the last transaction, never the store's consistency.
/// A reader is one read transaction, renewed before each lookup and reset after it, as a scan
/// thread doing one lookup per file would hold it.
class LmdbStore final : public Store {
public:
    LmdbStore(const std::string& path, std::size_t records) {
        check(mdb_env_create(&env_), "mdb_env_create");
        check(mdb_env_set_mapsize(env_, (std::size_t{1} << 30) + records * 256), "mapsize");
        check(mdb_env_open(env_, path.c_str(), MDB_NOSUBDIR | MDB_NOMETASYNC | MDB_NOTLS, 0644),
              "mdb_env_open");
        MDB_txn* txn = begin(0);
        check(mdb_dbi_open(txn, nullptr, 0, &dbi_), "mdb_dbi_open");
        check(mdb_txn_commit(txn), "mdb_txn_commit");
    }
    ~LmdbStore() override {
        openReaders(0);
        mdb_env_close(env_);
    }
    void insert(const std::vector<Record>& records) override {
        for (std::size_t first = 0; first < records.size(); first += kBatch) {
            MDB_txn* txn = begin(0);
            for (std::size_t i = first; i < std::min(records.size(), first + kBatch); ++i) {
                MDB_val key = bytes(records[i].key);
                MDB_val value = bytes(records[i].value);
                check(mdb_put(txn, dbi_, &key, &value, 0), "mdb_put");
            }
            check(mdb_txn_commit(txn), "mdb_txn_commit");
        }
    }
    void openReaders(int threads) override {
        for (MDB_txn* txn : readers_) {
            mdb_txn_abort(txn);
        }
        readers_.assign(threads, nullptr);
        for (MDB_txn*& txn : readers_) {
            txn = begin(MDB_RDONLY);
            mdb_txn_reset(txn);
        }
    }
    bool find(int reader, const Key& key, Value& value) override {
        MDB_txn* txn = readers_[reader];
        check(mdb_txn_renew(txn), "mdb_txn_renew");
        MDB_val k = bytes(key);
        MDB_val v{};
        const int rc = mdb_get(txn, dbi_, &k, &v);
        const bool found = rc == MDB_SUCCESS && v.mv_size == value.size();
        if (found) {
            std::memcpy(value.data(), v.mv_data, value.size());
        }
        mdb_txn_reset(txn);
        check(rc == MDB_NOTFOUND ? MDB_SUCCESS : rc, "mdb_get");
        return found;
    }

private:
    static void check(int rc, const char* what) {
        if (rc != MDB_SUCCESS) {
            fail(what, mdb_strerror(rc));
        }
    }
    template <std::size_t N> static MDB_val bytes(const std::array<std::uint8_t, N>& data) {
        return {N, const_cast<std::uint8_t*>(data.data())};
    }
    MDB_txn* begin(unsigned flags) {
        MDB_txn* txn = nullptr;
        check(mdb_txn_begin(env_, nullptr, flags, &txn), "mdb_txn_begin");
        return txn;
    }

    MDB_env* env_ = nullptr;
    MDB_dbi dbi_ = 0;
    std::vector<MDB_txn*> readers_;
};

struct SqlSchema {
    const char* create;
    const char* insert;
    const char* select;
    bool integers; // one integer column per key and value field instead of two blobs
};

constexpr SqlSchema kBlobSchema{
    "CREATE TABLE verdicts(k BLOB PRIMARY KEY, v BLOB NOT NULL) WITHOUT ROWID",
    "INSERT INTO verdicts VALUES(?1, ?2)", "SELECT v FROM verdicts WHERE k = ?1", false};
constexpr SqlSchema kIntegerSchema{
    "CREATE TABLE verdicts(inode INTEGER NOT NULL, slot INTEGER NOT NULL, size INTEGER NOT NULL, "
    "modified INTEGER NOT NULL, changed INTEGER NOT NULL, crc INTEGER NOT NULL, flags INTEGER NOT "
    "NULL, pattern INTEGER NOT NULL, serial INTEGER NOT NULL, chk INTEGER NOT NULL, "
    "PRIMARY KEY(inode, slot)) WITHOUT ROWID",
    "INSERT INTO verdicts VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)",
    "SELECT size, modified, changed, crc, flags, pattern, serial, chk FROM verdicts "
    "WHERE inode = ?1 AND slot = ?2",
    true};

/// WAL with synchronous=NORMAL: a commit is not flushed, a checkpoint is; a killed process loses
/// nothing, a power cut at worst the transactions since the last checkpoint. A reader is its own
/// connection with its prepared lookup; each lookup is an implicit read transaction.
class SqliteStore final : public Store {
public:
    SqliteStore(const std::string& path, const SqlSchema& schema)
        : path_(path), schema_(schema), db_(open(path)) {
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=NORMAL");
        exec(schema.create);
    }
    ~SqliteStore() override {
        openReaders(0);
        sqlite3_close(db_);
    }
    /// Ends with a checkpoint that moves the write-ahead log into the database file.
    void insert(const std::vector<Record>& records) override {
        sqlite3_stmt* insert = prepare(db_, schema_.insert);
        for (std::size_t first = 0; first < records.size(); first += kBatch) {
            exec("BEGIN");
            for (std::size_t i = first; i < std::min(records.size(), first + kBatch); ++i) {
                bindKey(insert, records[i].key);
                for (int field = 0; schema_.integers && field < 8; ++field) {
                    sqlite3_bind_int64(insert, field + 3, getField(records[i].value, field));
                }
                if (!schema_.integers) {
                    sqlite3_bind_blob(insert, 2, records[i].value.data(), records[i].value.size(),
                                      SQLITE_STATIC);
                }
                check(db_, sqlite3_step(insert) == SQLITE_DONE, "insert");
                sqlite3_reset(insert);
            }
            exec("COMMIT");
        }
        sqlite3_finalize(insert);
        exec("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    void openReaders(int threads) override {
        for (const auto& [db, select] : readers_) {
            sqlite3_finalize(select);
            sqlite3_close(db);
        }
        readers_.clear();
        for (int thread = 0; thread < threads; ++thread) {
            sqlite3* db = open(path_);
            readers_.emplace_back(db, prepare(db, schema_.select));
        }
    }
    bool find(int reader, const Key& key, Value& value) override {
        const auto [db, select] = readers_[reader];
        bindKey(select, key);
        const int rc = sqlite3_step(select);
        check(db, rc == SQLITE_ROW || rc == SQLITE_DONE, "lookup");
        bool found = rc == SQLITE_ROW;
        for (int field = 0; found && schema_.integers && field < 8; ++field) {
            putField(value, field, sqlite3_column_int64(select, field));
        }
        if (found && !schema_.integers) {
            found = sqlite3_column_bytes(select, 0) == static_cast<int>(value.size());
            if (found) {
                std::memcpy(value.data(), sqlite3_column_blob(select, 0), value.size());
            }
        }
        sqlite3_reset(select);
        return found;
    }

private:
    static void check(sqlite3* db, bool ok, const char* what) {
        if (!ok) {
            fail(what, sqlite3_errmsg(db));
        }
    }
    static sqlite3* open(const std::string& path) {
        sqlite3* db = nullptr;
        const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
        check(db, sqlite3_open_v2(path.c_str(), &db, flags, nullptr) == SQLITE_OK, "open");
        return db;
    }
    static sqlite3_stmt* prepare(sqlite3* db, const char* sql) {
        sqlite3_stmt* statement = nullptr;
        check(db,
              sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) ==
                  SQLITE_OK,
              sql);
        return statement;
    }
    void exec(const char* sql) {
        check(db_, sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK, sql);
    }
    void bindKey(sqlite3_stmt* statement, const Key& key) const {
        if (schema_.integers) {
            sqlite3_bind_int64(statement, 1, getBytes(key.data(), 8));
            sqlite3_bind_int64(statement, 2, getBytes(key.data() + 8, 4));
        } else {
            sqlite3_bind_blob(statement, 1, key.data(), key.size(), SQLITE_STATIC);
        }
    }

    std::string path_;
    SqlSchema schema_;
    sqlite3* db_;
    std::vector<std::pair<sqlite3*, sqlite3_stmt*>> readers_;
};

struct LookupRun {
    double seconds = 0;
    std::size_t found = 0;
    std::size_t wrong = 0; // a present key not found or with another value, an absent one found
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// Looks up the keys of records[order[i]] for every i, the order split into `threads` slices that
/// run at once, each with its own reader; wall time from the first lookup to the last.
LookupRun lookUp(Store& store, const std::vector<Record>& records,
                 const std::vector<std::uint32_t>& order, bool present, int threads) {
    store.openReaders(threads);
    std::vector<LookupRun> runs(threads);
    const auto slice = [&](int thread) {
        LookupRun run;
        Value value{};
        const std::size_t end = order.size() * (thread + 1) / threads;
        for (std::size_t i = order.size() * thread / threads; i < end; ++i) {
            const Record& record = records[order[i]];
            const bool found = store.find(thread, record.key, value);
            run.found += found ? 1 : 0;
            run.wrong += found != present || (found && value != record.value) ? 1 : 0;
        }
        runs[thread] = run;
    };
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> helpers;
    for (int thread = 1; thread < threads; ++thread) {
        helpers.emplace_back(slice, thread);
    }
    slice(0);
    for (std::thread& helper : helpers) {
        helper.join();
    }
    LookupRun total{secondsSince(start), 0, 0};
    for (const LookupRun& run : runs) {
        total.found += run.found;
        total.wrong += run.wrong;
    }
    return total;
}

double statusMiB(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) {
            return std::strtod(line.c_str() + std::strlen(field), nullptr) / 1024;
        }
    }
    return 0;
}

void row(const char* store, const char* phase, int threads, std::size_t count, double seconds,
         const std::string& note) {
    std::printf("%-12s %-24s %7d %9zu %8.3f %12.0f  %s\n", store, phase, threads, count, seconds,
                count / seconds, note.c_str());
}

struct StoreKind {
    const char* name;
    const char* file;
    const SqlSchema* schema; // null for LMDB
};

/// One store's measurements, run in a child process; returns 1 when a lookup went wrong.
int measure(const StoreKind& kind, const std::string& folder, std::size_t count) {
    const Workload work = makeWorkload(count);
    const double workloadMiB = statusMiB("VmRSS:");
    const std::string path = folder + "/" + kind.file;
    std::unique_ptr<Store> store;
    if (kind.schema) {
        store = std::make_unique<SqliteStore>(path, *kind.schema);
    } else {
        store = std::make_unique<LmdbStore>(path, count);
    }
    const auto start = std::chrono::steady_clock::now();
    store->insert(work.present);
    row(kind.name, "insert", 1, count, secondsSince(start), "16384 per transaction");
    std::size_t wrong = 0;
    const auto lookups = [&](const char* phase, const std::vector<Record>& records,
                             const std::vector<std::uint32_t>& order, bool present, int threads) {
        const LookupRun run = lookUp(*store, records, order, present, threads);
        wrong += run.wrong;
        row(kind.name, phase, threads, order.size(), run.seconds,
            "found " + std::to_string(run.found) +
                (run.wrong ? ", WRONG " + std::to_string(run.wrong) : std::string()));
    };
    lookups("lookup, random order", work.present, work.shuffled, true, 1);
    lookups("lookup, random order", work.present, work.shuffled, true, 2);
    lookups("lookup, walk order", work.present, work.walk, true, 1);
    lookups("absent, random order", work.absent, work.shuffled, false, 1);
    lookups("absent, random order", work.absent, work.shuffled, false, 2);

    double allocated = 0;
    double size = 0;
    std::string names;
    for (const char* suffix : {"", "-lock", "-wal", "-shm"}) {
        struct stat info {};
        if (::stat((path + suffix).c_str(), &info) == 0) {
            allocated += static_cast<double>(info.st_blocks) * 512;
            size += static_cast<double>(info.st_size);
            names += (names.empty() ? "" : " + ") + (kind.file + std::string(suffix));
        }
    }
    std::printf("%-12s disk: %.1f MiB allocated, %.1f MiB st_size, %.1f bytes per record (%s)\n",
                kind.name, allocated / 1048576, size / 1048576, allocated / count, names.c_str());
    store.reset();
    std::printf("%-12s peak RSS (VmHWM) %.1f MiB, of which the workload in memory %.1f MiB\n",
                kind.name, statusMiB("VmHWM:"), workloadMiB);
    for (const char* suffix : {"", "-lock", "-wal", "-shm"}) {
        ::unlink((path + suffix).c_str());
    }
    return wrong == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t count = 1'000'000;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--records" && i + 1 < argc) {
            count = std::strtoul(argv[++i], nullptr, 10);
        } else if (option == "--dir" && i + 1 < argc) {
            folder = argv[++i];
        } else {
            count = 0;
            break;
        }
    }
    if (count == 0 || count > UINT32_MAX) {
        std::fprintf(stderr, "Usage: verdict_store_bench [--records N (1 or more)] [--dir DIR]\n");
        return 2;
    }
    const bool ownFolder = folder.empty();
    if (ownFolder) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/verdict-store-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            return 1;
        }
        folder = pattern;
    }
    std::printf("%zu records of 12 + 34 bytes in %s; LMDB %d.%d.%d, SQLite %s\n", count,
                folder.c_str(), MDB_VERSION_MAJOR, MDB_VERSION_MINOR, MDB_VERSION_PATCH,
                sqlite3_libversion());
    std::printf("%-12s %-24s %7s %9s %8s %12s  %s\n", "store", "phase", "threads", "count",
                "seconds", "per second", "note");
    const StoreKind kinds[] = {{"lmdb", "verdicts.mdb", nullptr},
                               {"sqlite blob", "verdicts-blob.sqlite", &kBlobSchema},
                               {"sqlite ints", "verdicts-ints.sqlite", &kIntegerSchema}};
    int failures = 0;
    for (const StoreKind& kind : kinds) {
        std::fflush(stdout);
        const pid_t child = ::fork();
        if (child == 0) {
            const int status = measure(kind, folder, count);
            std::fflush(stdout);
            ::_exit(status);
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "verdict_store_bench: %s failed\n", kind.name);
            ++failures;
        }
    }
    if (ownFolder) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    return failures == 0 ? 0 : 1;
}
