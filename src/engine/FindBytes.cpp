#include "engine/FindBytes.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

using Index = std::ptrdiff_t;

unsigned char byteAt(std::string_view text, Index i) {
    return static_cast<unsigned char>(text[static_cast<std::size_t>(i)]);
}

/// The maximal suffix of `needle` for one byte order (`reversed` flips it): returns the position
/// just before that suffix (-1 for the whole needle) and sets `period` to the suffix's period.
Index maximalSuffix(std::string_view needle, bool reversed, Index& period) {
    const auto m = static_cast<Index>(needle.size());
    Index before = -1;
    Index j = 0;
    Index k = 1;
    period = 1;
    while (j + k < m) {
        const unsigned char a = byteAt(needle, j + k);
        const unsigned char b = byteAt(needle, before + k);
        if (reversed ? a > b : a < b) {
            j += k;
            k = 1;
            period = j - before;
        } else if (a == b) {
            if (k != period) {
                ++k;
            } else {
                j += period;
                k = 1;
            }
        } else {
            before = j;
            j = before + 1;
            k = 1;
            period = 1;
        }
    }
    return before;
}

/// Moves `at` forward to the first alignment whose byte at `offset` equals `wanted`; false when
/// no alignment up to `last` has it.
bool skipTo(std::string_view haystack, Index offset, unsigned char wanted, Index last, Index& at) {
    const char* from = haystack.data() + at + offset;
    const auto span = static_cast<std::size_t>(last - at + 1);
    const void* hit = std::memchr(from, wanted, span);
    if (hit == nullptr) {
        return false;
    }
    at += static_cast<const char*>(hit) - from;
    return true;
}

} // namespace

const char* findBytesPortable(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) {
        return haystack.data();
    }
    if (needle.size() > haystack.size()) {
        return nullptr;
    }
    if (needle.size() == 1) {
        return static_cast<const char*>(std::memchr(haystack.data(), needle[0], haystack.size()));
    }
    const auto m = static_cast<Index>(needle.size());
    const auto last = static_cast<Index>(haystack.size()) - m; // the last possible alignment

    // Critical factorization: needle = left + right, split after position `split`.
    Index forwardPeriod = 1;
    Index backwardPeriod = 1;
    const Index forward = maximalSuffix(needle, false, forwardPeriod);
    const Index backward = maximalSuffix(needle, true, backwardPeriod);
    const Index split = std::max(forward, backward);
    Index period = forward > backward ? forwardPeriod : backwardPeriod;
    const unsigned char firstRight = byteAt(needle, split + 1);
    const auto matches = [&](Index i, Index at) {
        return byteAt(needle, i) == byteAt(haystack, i + at);
    };

    if (std::memcmp(needle.data(), needle.data() + period, static_cast<std::size_t>(split + 1)) ==
        0) {
        // The needle is periodic: after a match or a long partial match, the bytes of one period
        // already compared need no second look (`memory`).
        Index memory = -1;
        for (Index at = 0; at <= last;) {
            if (memory < 0 && !skipTo(haystack, split + 1, firstRight, last, at)) {
                return nullptr;
            }
            Index i = std::max(split, memory) + 1;
            while (i < m && matches(i, at)) {
                ++i;
            }
            if (i < m) {
                at += i - split;
                memory = -1;
                continue;
            }
            i = split;
            while (i > memory && matches(i, at)) {
                --i;
            }
            if (i <= memory) {
                return haystack.data() + at;
            }
            at += period;
            memory = m - period - 1;
        }
        return nullptr;
    }
    // Not periodic: any mismatch allows a shift past the longer half.
    period = std::max(split + 1, m - split - 1) + 1;
    for (Index at = 0; at <= last;) {
        if (!skipTo(haystack, split + 1, firstRight, last, at)) {
            return nullptr;
        }
        Index i = split + 1;
        while (i < m && matches(i, at)) {
            ++i;
        }
        if (i < m) {
            at += i - split;
            continue;
        }
        i = split;
        while (i >= 0 && matches(i, at)) {
            --i;
        }
        if (i < 0) {
            return haystack.data() + at;
        }
        at += period;
    }
    return nullptr;
}

#ifdef __GLIBC__

const char* findBytes(std::string_view haystack, std::string_view needle) {
    return static_cast<const char*>(
        ::memmem(haystack.data(), haystack.size(), needle.data(), needle.size()));
}

const char* findBytesName() {
    return "memmem";
}

#else

const char* findBytes(std::string_view haystack, std::string_view needle) {
    return findBytesPortable(haystack, needle);
}

const char* findBytesName() {
    return "portable";
}

#endif
