#include "cache/VerdictStore.h"

#include "cache/CacheError.h"

// No store is built for Windows: opening fails, so scans there read every file.
struct VerdictStore::Environment {};

VerdictStore::VerdictStore(std::unique_ptr<Environment> environment)
    : m_environment(std::move(environment)) {}

VerdictStore::~VerdictStore() = default;

std::unique_ptr<VerdictStore> VerdictStore::Open(const platform::FolderHandle&, std::uint64_t,
                                                 std::string&, std::error_code& error) {
    error = make_error_code(CacheError::Unavailable);
    return nullptr;
}

std::optional<std::uint32_t> VerdictStore::findVolume(std::string_view, std::uint64_t,
                                                      std::uint64_t) const {
    return std::nullopt;
}

std::optional<VerdictRecord> VerdictStore::find(std::string_view, std::uint32_t,
                                                std::uint64_t) const {
    return std::nullopt;
}

std::error_code VerdictStore::write(std::string_view, std::uint32_t,
                                    std::span<const PendingVerdict>) {
    return make_error_code(CacheError::Unavailable);
}

std::uint32_t VerdictStore::startScan() {
    return 1;
}

std::error_code VerdictStore::recordScan(std::uint64_t, std::uint64_t) {
    return make_error_code(CacheError::Unavailable);
}

std::error_code VerdictStore::clear() {
    return make_error_code(CacheError::Unavailable);
}

VerdictStoreStats VerdictStore::stats() const {
    return {};
}

bool VerdictStore::damaged() const {
    return false;
}
