#include "platform/ReadBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#ifdef _WIN32
#include <malloc.h>
#endif

namespace platform {

namespace {

constexpr std::size_t kPage = 4096;

char* allocateAligned(std::size_t alignment, std::size_t size) {
#ifdef _WIN32
    return static_cast<char*>(_aligned_malloc(size, alignment));
#else
    return static_cast<char*>(std::aligned_alloc(alignment, size));
#endif
}

} // namespace

void ReadBuffer::Free::operator()(char* p) const {
#ifdef _WIN32
    _aligned_free(p);
#else
    std::free(p);
#endif
}

void ReadBuffer::reserve(std::size_t bytes, std::size_t keep) {
    if (bytes <= m_capacity) {
        return;
    }
    std::size_t capacity = std::max<std::size_t>(m_capacity, 64 * 1024);
    while (capacity < bytes) {
        capacity *= 2;
    }
    capacity = (capacity + kPage - 1) / kPage * kPage;
    char* memory = allocateAligned(kPage, capacity);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    if (keep > 0) {
        std::memcpy(memory, m_data.get(), keep);
    }
    m_data.reset(memory);
    m_capacity = capacity;
}

std::error_code ReadBuffer::readOpenFile(InputFile& file, std::size_t limit) {
    m_size = 0;
    m_waited = false;
    if (file.size() > limit) {
        return std::make_error_code(std::errc::file_too_large);
    }
    // One byte more than the open-time length shows at once whether the file has grown since.
    reserve(static_cast<std::size_t>(file.size()) + 1, 0);
    // The first read takes what is in memory only, which tells whether the file is read from the
    // disk; a whole file read that way needs no second call.
    std::error_code cachedError;
    m_size = file.readCached(m_data.get(), m_capacity, cachedError);
    if (cachedError) {
        m_size = 0;
        return cachedError;
    }
    m_waited = m_size < file.size();
    if (!m_waited && m_size < m_capacity && m_size <= limit) {
        return {};
    }
    for (;;) {
        if (m_size > limit) {
            m_size = 0;
            return std::make_error_code(std::errc::file_too_large);
        }
        if (m_size == m_capacity) {
            reserve(std::min(m_capacity + 1, limit + 1), m_size);
        }
        std::error_code ec;
        const std::size_t got = file.read(m_data.get() + m_size, m_capacity - m_size, ec);
        if (ec) {
            m_size = 0;
            return ec;
        }
        if (got == 0) {
            return {};
        }
        m_size += got;
        // A regular file reads short only at its end, so a read that left room is the last (the
        // room may pass the limit: a file that grew past it since it was opened is too large).
        if (m_size < m_capacity && m_size >= file.size() && m_size <= limit) {
            return {};
        }
    }
}

} // namespace platform
