// scan_floor: the least work a whole scan of a folder can do, as the floor of the whole-scan
// benchmark (run_scan_bench.sh): walk the tree once, read every regular file below 4,096,000 bytes
// (the scanner's examine limit) once and run it through the fastest CRC-32 loop of this build, on
// N threads, which start reading while the walk goes on. No lookups, no patterns, no output but the
// totals.
//
// Files are read in 256 KiB blocks into a buffer that starts on a page boundary. Two options show
// what a scanner's choice of read buffer costs:
//   --whole-file        read each file in one piece into a buffer as large as the file (kept and
//                       grown per thread), as a scanner that holds whole files does;
//   --buffer-offset N   start the buffer N bytes into a page. glibc's malloc hands out the
//                       blocks it maps on their own (128 KiB and more, at first) 16 bytes into a
//                       page, and on some processors the kernel copies file data to an address 1 to
//                       31 bytes into a page about three times more slowly than to a page boundary.

#include "engine/Crc32.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kExamineLimit = 4'096'000;
constexpr std::size_t kBlock = 256 * 1024;
constexpr std::size_t kPage = 4096;

struct Totals {
    std::atomic<std::uint64_t> files{0};
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<std::uint64_t> unreadable{0};
    std::atomic<std::uint32_t> crcXor{0};
};

struct Item {
    std::string path;
    std::uint64_t size = 0;
};

/// Files handed from the walk to the workers.
class WorkQueue {
public:
    void push(Item item) {
        {
            const std::lock_guard lock(m_mutex);
            m_items.push_back(std::move(item));
        }
        m_ready.notify_one();
    }
    void close() {
        {
            const std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_ready.notify_all();
    }
    /// The next file; false once the queue is closed and empty.
    bool pop(Item& item) {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return m_closed || !m_items.empty(); });
        if (m_items.empty()) {
            return false;
        }
        item = std::move(m_items.front());
        m_items.pop_front();
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Item> m_items;
    bool m_closed = false;
};

/// A read buffer that starts `offset` bytes after a page boundary.
class ReadBuffer {
public:
    explicit ReadBuffer(std::size_t offset) : m_offset(offset) {}
    ~ReadBuffer() { std::free(m_base); }
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;

    /// Makes room for at least `size` bytes; the content is not kept.
    void reserve(std::size_t size) {
        if (size <= m_size) {
            return;
        }
        std::free(m_base);
        const std::size_t bytes = (m_offset + size + kPage - 1) / kPage * kPage;
        m_base = static_cast<char*>(std::aligned_alloc(kPage, bytes));
        if (m_base == nullptr) {
            throw std::bad_alloc();
        }
        m_size = size;
    }
    char* data() { return m_base + m_offset; }
    std::size_t size() const { return m_size; }

private:
    std::size_t m_offset;
    char* m_base = nullptr;
    std::size_t m_size = 0;
};

/// Reads the file and returns its CRC-32; false when it cannot be read. In blocks of the buffer's
/// size, or, with `wholeFile`, in one piece into the buffer grown to the file's size (+1 to see the
/// end of the file in the same read).
bool checksumFile(const Item& item, bool wholeFile, ReadBuffer& buffer, std::uint32_t& crc,
                  std::uint64_t& length) {
    const int fd = ::open(item.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    if (wholeFile) {
        buffer.reserve(item.size + 1);
    }
    std::uint32_t reg = 0xFFFFFFFFu;
    std::size_t filled = 0;
    for (;;) {
        if (filled == buffer.size()) {
            reg = crc32::update(reg, std::string_view(buffer.data(), filled));
            filled = 0;
        }
        const ssize_t got = ::read(fd, buffer.data() + filled, buffer.size() - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ::close(fd);
            return false;
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
        length += static_cast<std::uint64_t>(got);
    }
    ::close(fd);
    reg = crc32::update(reg, std::string_view(buffer.data(), filled));
    crc = reg ^ 0xFFFFFFFFu;
    return true;
}

unsigned long parseNumber(const char* option, const char* text, unsigned long low,
                          unsigned long high) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || value < low || value > high) {
        std::cerr << "scan_floor: " << option << " takes a number from " << low << " to " << high
                  << '\n';
        std::exit(2);
    }
    return value;
}

[[noreturn]] void usage() {
    std::cerr << "Usage: scan_floor [--threads N] [--whole-file] [--buffer-offset N] FOLDER\n";
    std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    bool wholeFile = false;
    std::size_t offset = 0;
    std::string root;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--threads" && i + 1 < argc) {
            threads = static_cast<unsigned>(parseNumber("--threads", argv[++i], 1, 1024));
        } else if (argument == "--buffer-offset" && i + 1 < argc) {
            offset = parseNumber("--buffer-offset", argv[++i], 0, kPage - 1);
        } else if (argument == "--whole-file") {
            wholeFile = true;
        } else if (root.empty() && !argument.empty() && argument[0] != '-') {
            root = argument;
        } else {
            usage();
        }
    }
    if (root.empty()) {
        usage();
    }

    Totals totals;
    WorkQueue queue;
    const auto work = [&] {
        ReadBuffer buffer(offset);
        if (!wholeFile) {
            buffer.reserve(kBlock);
        }
        Item item;
        while (queue.pop(item)) {
            std::uint32_t crc = 0;
            std::uint64_t length = 0;
            if (!checksumFile(item, wholeFile, buffer, crc, length)) {
                ++totals.unreadable;
                continue;
            }
            ++totals.files;
            totals.bytes += length;
            totals.crcXor ^= crc;
        }
    };
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < threads; ++i) {
        workers.emplace_back(work);
    }

    // The walk, on this thread while the workers read: regular files only, symbolic links neither
    // followed nor read.
    std::uint64_t walked = 0;
    std::error_code ec;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
    for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::error_code statusError;
        if (!it->is_regular_file(statusError) || it->is_symlink(statusError)) {
            continue;
        }
        ++walked;
        const std::uint64_t size = it->file_size(statusError);
        if (!statusError && size < kExamineLimit) {
            queue.push({it->path().string(), size});
        }
    }
    queue.close();
    for (std::thread& worker : workers) {
        worker.join();
    }
    if (ec) {
        std::cerr << "scan_floor: cannot walk '" << root << "': " << ec.message() << '\n';
        return 2;
    }

    std::printf("scan_floor: %" PRIu64 " files walked, %" PRIu64 " read (%" PRIu64
                " bytes, %s, buffer %zu bytes into a page) on %u threads, %" PRIu64
                " unreadable, CRC xor %08" PRIX32 "\n",
                walked, totals.files.load(), totals.bytes.load(),
                wholeFile ? "whole files" : "256 KiB blocks", offset, threads,
                totals.unreadable.load(), totals.crcXor.load());
    return 0;
}
