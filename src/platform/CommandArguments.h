#pragma once

#include <string>
#include <vector>

namespace platform {

/// The program's arguments after its own name, as UTF-8. On Linux they are `argv` as given; on
/// Windows they are read from the wide command line (the narrow `argv` holds the ANSI code page's
/// lossy form) and converted, so any name can be passed.
std::vector<std::string> utf8Arguments(int argc, char** argv);

} // namespace platform
