#include "platform/CommandArguments.h"

namespace platform {

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    if (argc < 1) {
        return {};
    }
    return {argv + 1, argv + argc};
}

} // namespace platform
