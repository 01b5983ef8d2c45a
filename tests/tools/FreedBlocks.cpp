#include "FreedBlocks.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>

namespace {

std::atomic<bool> watching{false};
std::atomic<int> found{0};
std::array<char, 64> mark{};
std::size_t markSize = 0;

void noteFree(void* block) {
    if (block != nullptr && watching.load() &&
        memmem(block, malloc_usable_size(block), mark.data(), markSize) != nullptr) {
        ++found;
    }
}

} // namespace

namespace freedblocks {

void watch(std::string_view text) {
    markSize = std::min(text.size(), mark.size() - 1);
    std::memcpy(mark.data(), text.data(), markSize);
    found = 0;
    watching = true;
}

int stop() {
    watching = false;
    return found.load();
}

} // namespace freedblocks

// Blocks come from malloc, so operator delete can measure and search them before freeing. Each
// block is cleared when it is handed out: malloc may return memory that still holds bytes of a
// block freed earlier (say, a copy of the plain text the test itself made and let go), and only
// what the block's owner wrote into it may count at its free.
void* operator new(std::size_t size) {
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        std::memset(block, 0, malloc_usable_size(block));
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept {
    noteFree(block);
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    noteFree(block);
    std::free(block);
}
