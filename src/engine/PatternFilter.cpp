#include "engine/PatternFilter.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#ifdef KESTO_HAVE_VECTOR_FILTER
#include "engine/PatternFilterScan.h"
#endif

PatternFilter::PatternFilter(const std::vector<std::string>& patterns, Width width)
    : m_patterns(patterns), m_width(width) {
    // Patterns with the same first bytes share a bucket, so that they add nothing to what the
    // bucket lets through; the others go round the buckets.
    std::vector<std::size_t> bucketOf(m_patterns.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < m_patterns.size(); ++i) {
        const std::string_view prefix = std::string_view(m_patterns[i]).substr(0, kPrefix);
        const auto here = m_patterns.begin() + static_cast<std::ptrdiff_t>(i);
        const auto twin = std::find_if(m_patterns.begin(), here, [&](const std::string& earlier) {
            return earlier.compare(0, kPrefix, prefix) == 0;
        });
        bucketOf[i] = twin != here ? bucketOf[static_cast<std::size_t>(twin - m_patterns.begin())]
                                   : next++ % kBuckets;
        m_members[bucketOf[i]].push_back(i);
        const auto bit = static_cast<std::uint8_t>(1u << bucketOf[i]);
        for (std::size_t j = 0; j < kPrefix; ++j) {
            const auto byte = static_cast<unsigned char>(m_patterns[i][j]);
            for (std::size_t lane = j * kTableBytes; lane < (j + 1) * kTableBytes; lane += 16) {
                m_low[lane + (byte & 0x0Fu)] |= bit;
                m_high[lane + (byte >> 4)] |= bit;
            }
        }
    }
}

std::unique_ptr<PatternFilter> PatternFilter::create(const std::vector<std::string>& patterns,
                                                     Width width) {
#ifdef KESTO_HAVE_VECTOR_FILTER
    if (patterns.empty() || patterns.size() > kMaxPatterns ||
        std::any_of(patterns.begin(), patterns.end(),
                    [](const std::string& pattern) { return pattern.size() < kPrefix; })) {
        return nullptr;
    }
    const bool has512 = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
    const bool has256 = __builtin_cpu_supports("avx2");
    if (width == Width::Widest) {
        width = has512 ? Width::Bits512 : Width::Bits256;
    }
    if (!(width == Width::Bits512 ? has512 : has256)) {
        return nullptr;
    }
    return std::unique_ptr<PatternFilter>(new PatternFilter(patterns, width));
#else
    (void)patterns;
    (void)width;
    return nullptr;
#endif
}

bool PatternFilter::verify(std::string_view data, std::size_t position, unsigned buckets,
                           Found& found, bool firstOnly) const {
    while (buckets != 0) {
        const auto bucket = static_cast<std::size_t>(__builtin_ctz(buckets));
        buckets &= buckets - 1;
        for (const std::size_t index : m_members[bucket]) {
            const Found bit = Found{1} << index;
            const std::string& pattern = m_patterns[index];
            if ((found & bit) == 0 && pattern.size() <= data.size() - position &&
                std::memcmp(data.data() + position, pattern.data(), pattern.size()) == 0) {
                found |= bit;
                if (firstOnly && index == 0) {
                    return true;
                }
            }
        }
    }
    return false;
}

std::size_t PatternFilter::scan(std::string_view data, Found& found, bool firstOnly) const {
#ifdef KESTO_HAVE_VECTOR_FILTER
    static_assert(kPrefix == pattern_filter::kPrefix && kTableBytes == pattern_filter::kTableBytes);
    // The vector loop is compiled for another instruction set and calls back here for the few
    // positions it lets through.
    struct Context {
        const PatternFilter* filter;
        std::string_view data;
        Found* found;
        bool firstOnly;
    } context{this, data, &found, firstOnly};
    const auto compare = [](void* opaque, std::size_t position, unsigned buckets) {
        const auto* at = static_cast<const Context*>(opaque);
        return at->filter->verify(at->data, position, buckets, *at->found, at->firstOnly);
    };
    const pattern_filter::Search search{data.data(),   data.size(), m_low.data(),
                                        m_high.data(), compare,     &context};
    return m_width == Width::Bits512 ? pattern_filter::scan512(search)
                                     : pattern_filter::scan256(search);
#else
    (void)data;
    (void)found;
    (void)firstOnly;
    return 0; // never reached: create() returns null without the vector instructions
#endif
}
