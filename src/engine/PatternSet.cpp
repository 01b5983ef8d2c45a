#include "engine/PatternSet.h"

#include "engine/FileBlocks.h"
#include "engine/FindBytes.h"
#include "engine/PatternFilter.h"

#include <bit>
#include <cstring>
#include <stdexcept>

#ifdef KESTO_HAVE_HYPERSCAN
#include <hs/hs.h>
#endif

std::optional<std::size_t> lowestFound(PatternSet::Found found) {
    if (found == 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(std::countr_zero(found));
}

#ifdef KESTO_HAVE_HYPERSCAN

namespace {

// Scratch space belongs to one thread at a time; each thread keeps one, grown to fit every set.
struct ThreadScratch {
    hs_scratch_t* scratch = nullptr;
    ~ThreadScratch() { hs_free_scratch(scratch); }
};

struct ScanContext {
    PatternSet::Found* found;
    bool firstOnly;
};

int onMatch(unsigned id, unsigned long long, unsigned long long, unsigned, void* context) {
    auto* scan = static_cast<ScanContext*>(context);
    *scan->found |= PatternSet::Found{1} << id;
    return scan->firstOnly && id == 0 ? 1 : 0;
}

} // namespace

struct PatternSet::Hyperscan {
    hs_database_t* database = nullptr;
    ~Hyperscan() { hs_free_database(database); }

    static std::unique_ptr<Hyperscan> compile(const std::vector<std::string>& patterns) {
        if (hs_valid_platform() != HS_SUCCESS) {
            return nullptr;
        }
        std::vector<const char*> expressions;
        std::vector<unsigned> flags(patterns.size(), HS_FLAG_SINGLEMATCH);
        std::vector<unsigned> ids;
        std::vector<std::size_t> lengths;
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            expressions.push_back(patterns[i].data());
            ids.push_back(static_cast<unsigned>(i));
            lengths.push_back(patterns[i].size());
        }
        auto compiled = std::make_unique<Hyperscan>();
        hs_compile_error_t* error = nullptr;
        if (hs_compile_lit_multi(expressions.data(), flags.data(), ids.data(), lengths.data(),
                                 static_cast<unsigned>(patterns.size()), HS_MODE_BLOCK, nullptr,
                                 &compiled->database, &error) != HS_SUCCESS) {
            hs_free_compile_error(error);
            return nullptr;
        }
        return compiled;
    }

    void scan(std::string_view data, Found& found, bool firstOnly, std::size_t overlap) const {
        thread_local ThreadScratch local;
        if (hs_alloc_scratch(database, &local.scratch) != HS_SUCCESS) {
            throw std::bad_alloc();
        }
        ScanContext context{&found, firstOnly};
        // Hyperscan takes 32-bit lengths; larger data goes in overlapping pieces.
        constexpr std::size_t kPiece = std::size_t{1} << 30;
        std::size_t offset = 0;
        for (;;) {
            const std::size_t length = std::min(kPiece, data.size() - offset);
            const hs_error_t result =
                hs_scan(database, data.data() + offset, static_cast<unsigned>(length), 0,
                        local.scratch, onMatch, &context);
            if (result == HS_SCAN_TERMINATED) {
                return;
            }
            if (result != HS_SUCCESS) {
                throw std::runtime_error("pattern search failed");
            }
            if (offset + length >= data.size()) {
                return;
            }
            offset += length - overlap;
        }
    }
};

#else

struct PatternSet::Hyperscan {
    static std::unique_ptr<Hyperscan> compile(const std::vector<std::string>&) { return nullptr; }
    void scan(std::string_view, Found&, bool, std::size_t) const {}
};

#endif

PatternSet::PatternSet(std::vector<std::string> patterns, Backend backend)
    : m_patterns(std::move(patterns)) {
    if (m_patterns.size() > kMaxPatterns) {
        throw std::invalid_argument("too many patterns in one set");
    }
    for (const auto& pattern : m_patterns) {
        if (pattern.empty()) {
            throw std::invalid_argument("empty pattern");
        }
        m_longest = std::max(m_longest, pattern.size());
    }
    if (backend == Backend::Best || backend == Backend::Filter256) {
        m_filter = PatternFilter::create(m_patterns, backend == Backend::Filter256
                                                         ? PatternFilter::Width::Bits256
                                                         : PatternFilter::Width::Widest);
    }
    if (backend != Backend::Portable && !m_patterns.empty()) {
        m_hyperscan = Hyperscan::compile(m_patterns);
    }
}

PatternSet::~PatternSet() = default;

std::string PatternSet::backendName() const {
    const std::string search = m_hyperscan ? "Hyperscan" : findBytesName();
    return m_filter ? "vector filter (" + std::to_string(m_filter->bits()) + "-bit), then " + search
                    : search;
}

void PatternSet::scan(std::string_view data, Found& found, bool firstOnly) const {
    if (data.empty()) {
        return;
    }
    if (m_filter) {
        // Where the filter stops early, the rest goes to the search below.
        const std::size_t searched = m_filter->scan(data, found, firstOnly);
        if (searched == data.size()) {
            return;
        }
        data.remove_prefix(searched);
    }
    if (m_hyperscan) {
        m_hyperscan->scan(data, found, firstOnly, m_longest - 1);
        return;
    }
    for (std::size_t i = 0; i < m_patterns.size(); ++i) {
        const Found bit = Found{1} << i;
        if ((found & bit) != 0) {
            if (firstOnly) {
                return; // everything after a found pattern ranks lower
            }
            continue;
        }
        const std::string& pattern = m_patterns[i];
        if (findBytes(data, pattern) != nullptr) {
            found |= bit;
            if (firstOnly) {
                return;
            }
        }
    }
}

std::optional<std::size_t> PatternSet::first(std::string_view data) const {
    Found found = 0;
    scan(data, found, true);
    return lowestFound(found);
}

std::optional<std::size_t> PatternSet::firstInFile(const std::string& path) const {
    Found found = 0;
    const std::size_t overlap = m_longest > 0 ? m_longest - 1 : 0;
    forEachFileWindow(path, overlap, [&](std::string_view window) {
        scan(window, found, true);
        return (found & 1u) == 0;
    });
    return lowestFound(found);
}
