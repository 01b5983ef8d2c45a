#pragma once

#include <string_view>

/// Watches the memory a program gives back through operator delete (the test binary that links
/// FreedBlocks.cpp replaces it), to tell whether secret bytes were wiped before it went back.
namespace freedblocks {

/// From now on, counts the freed blocks that contain `mark` (at most 63 bytes).
void watch(std::string_view mark);
/// Stops watching; the number of freed blocks that contained the mark.
int stop();

} // namespace freedblocks
