#include "platform/SystemFacts.h"

#include "platform/linux/SystemCall.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <pwd.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace platform {

std::string userName() {
    const uid_t uid = ::geteuid();
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1U << 24)) {
        buffer.resize(buffer.size() * 2);
    }
    if (found != nullptr && found->pw_name != nullptr && *found->pw_name != '\0') {
        return found->pw_name;
    }
    return std::to_string(uid);
}

std::string windowsFolder() {
    return "/usr";
}

std::string systemFolder() {
    return "/usr/bin";
}

std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string text;
    char chunk[8192];
    while (text.size() < limit) {
        const ssize_t got =
            linux_calls::retryOnEintr([&] { return ::read(fd, chunk, sizeof chunk); });
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        text.append(chunk, std::min(static_cast<std::size_t>(got), limit - text.size()));
    }
    ::close(fd);
    return text;
}

std::optional<std::uint64_t> procFieldBytes(std::string_view text, std::string_view key) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.size() <= key.size() || line.substr(0, key.size()) != key ||
            line[key.size()] != ':') {
            continue;
        }
        line.remove_prefix(key.size() + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(1);
        }
        std::uint64_t value = 0;
        const auto [rest, error] = std::from_chars(line.data(), line.data() + line.size(), value);
        if (error != std::errc() || rest == line.data()) {
            return std::nullopt;
        }
        std::string_view unit = line.substr(static_cast<std::size_t>(rest - line.data()));
        while (!unit.empty() && (unit.front() == ' ' || unit.front() == '\t')) {
            unit.remove_prefix(1);
        }
        while (!unit.empty() &&
               (unit.back() == ' ' || unit.back() == '\t' || unit.back() == '\r')) {
            unit.remove_suffix(1);
        }
        std::uint64_t scale = 0;
        if (unit.empty()) {
            scale = 1;
        } else if (unit == "kB" || unit == "KB") {
            scale = 1024;
        } else if (unit == "mB" || unit == "MB") {
            scale = 1024 * 1024;
        } else if (unit == "gB" || unit == "GB") {
            scale = 1024 * 1024 * 1024;
        } else {
            return std::nullopt;
        }
        std::uint64_t bytes = 0;
        if (__builtin_mul_overflow(value, scale, &bytes)) {
            return std::nullopt;
        }
        return bytes;
    }
    return std::nullopt;
}

std::uint64_t userAddressSpace() {
#if defined(__x86_64__)
    return std::uint64_t{1} << 47;
#elif defined(__aarch64__)
    return std::uint64_t{1} << 48;
#else
    return sizeof(void*) >= 8 ? std::uint64_t{1} << 47 : std::uint64_t{3} << 30;
#endif
}

namespace {

std::optional<std::uint64_t> processAddressSpaceLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(limit.rlim_cur);
}

std::uint64_t figure(std::string_view text, std::string_view key) {
    return procFieldBytes(text, key).value_or(0);
}

std::uint64_t saturatingSum(std::initializer_list<std::uint64_t> values) {
    std::uint64_t sum = 0;
    for (const std::uint64_t value : values) {
        if (__builtin_add_overflow(sum, value, &sum)) {
            return UINT64_MAX;
        }
    }
    return sum;
}

} // namespace

MemoryStatus memoryStatus(const MemorySources& sources) {
    MemoryStatus status;
    const std::string meminfo = readSmallFile(sources.meminfo).value_or(std::string());
    status.totalPhysical = figure(meminfo, "MemTotal");
    if (const auto available = procFieldBytes(meminfo, "MemAvailable")) {
        status.availablePhysical = *available;
    } else {
        // Kernels before 3.14 do not estimate it.
        status.availablePhysical = saturatingSum(
            {figure(meminfo, "MemFree"), figure(meminfo, "Buffers"), figure(meminfo, "Cached")});
    }
    status.swapTotal = figure(meminfo, "SwapTotal");
    status.swapFree = figure(meminfo, "SwapFree");

    const auto limit =
        sources.addressSpaceLimit ? sources.addressSpaceLimit() : processAddressSpaceLimit();
    status.totalVirtual = limit.value_or(userAddressSpace());
    const std::string processStatus = readSmallFile(sources.status).value_or(std::string());
    const std::uint64_t used = figure(processStatus, "VmSize");
    status.availableVirtual = used < status.totalVirtual ? status.totalVirtual - used : 0;
    return status;
}

} // namespace platform
