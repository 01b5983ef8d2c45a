#pragma once

#include <sstream>
#include <string>

namespace testsupport {

/// What a command wrote to its two streams, and the exit code it returned.
struct CommandRun {
    int code = -1;
    std::string out;
    std::string err;
};

/// Runs a command-line entry as `entry(arguments, {out, err}, extra...)` with its results and
/// messages captured: runKesto with its arguments, or a command's own entry with its command line
/// and the places it works on. The entry is handed in, so this library needs no command-line code.
template <class Entry, class Arguments, class... Extra>
CommandRun runCommand(Entry entry, const Arguments& arguments, const Extra&... extra) {
    std::ostringstream out;
    std::ostringstream err;
    CommandRun run;
    run.code = entry(arguments, {out, err}, extra...);
    run.out = out.str();
    run.err = err.str();
    return run;
}

} // namespace testsupport
