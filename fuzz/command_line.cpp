// Fuzzes the command-line parser: the input split at NUL bytes is the argument list. It may refuse
// it only with UsageError, and what it accepts must read back the same when written out in one
// canonical form (flags, "--name=VALUE", "--", command, operands).

#include "FuzzCheck.h"
#include "cli/CommandLine.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

std::vector<std::string> splitArguments(std::string_view text) {
    std::vector<std::string> arguments;
    if (text.empty()) {
        return arguments;
    }
    std::size_t start = 0;
    for (std::size_t nul = text.find('\0'); nul != std::string_view::npos;
         nul = text.find('\0', start)) {
        arguments.emplace_back(text.substr(start, nul - start));
        start = nul + 1;
    }
    arguments.emplace_back(text.substr(start));
    return arguments;
}

std::vector<std::string> canonical(const CommandLine& line) {
    std::vector<std::string> arguments;
    const std::pair<bool, const char*> flags[] = {
        {line.help, "--help"},   {line.version, "--version"},
        {line.clean, "--clean"}, {line.quarantine, "--quarantine"},
        {line.json, "--json"},   {line.quiet, "--quiet"},
    };
    for (const auto& [set, name] : flags) {
        if (set) {
            arguments.emplace_back(name);
        }
    }
    if (line.database) {
        arguments.push_back("--database=" + *line.database);
    }
    if (line.quarantineDir) {
        arguments.push_back("--quarantine-dir=" + *line.quarantineDir);
    }
    arguments.emplace_back("--");
    if (!line.command.empty()) {
        arguments.push_back(line.command);
    }
    arguments.insert(arguments.end(), line.operands.begin(), line.operands.end());
    return arguments;
}

void checkSame(const CommandLine& again, const CommandLine& line) {
    FUZZ_CHECK_EQ(again.command, line.command);
    FUZZ_CHECK_EQ(again.operands.size(), line.operands.size());
    for (std::size_t i = 0; i < line.operands.size(); ++i) {
        FUZZ_CHECK_EQ(again.operands[i], line.operands[i]);
    }
    FUZZ_CHECK_EQ(again.database, line.database);
    FUZZ_CHECK_EQ(again.quarantineDir, line.quarantineDir);
    FUZZ_CHECK_EQ(again.help, line.help);
    FUZZ_CHECK_EQ(again.version, line.version);
    FUZZ_CHECK_EQ(again.clean, line.clean);
    FUZZ_CHECK_EQ(again.quarantine, line.quarantine);
    FUZZ_CHECK_EQ(again.json, line.json);
    FUZZ_CHECK_EQ(again.quiet, line.quiet);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> arguments = splitArguments(fuzzcheck::asText(data, size));
    CommandLine line;
    try {
        line = parseCommandLine(arguments);
    } catch (const UsageError& error) {
        FUZZ_CHECK(!error.message.empty());
        return 0;
    }
    CommandLine again;
    try {
        again = parseCommandLine(canonical(line));
    } catch (const UsageError& error) {
        fuzzcheck::fail(("the canonical form was refused: " + error.message).c_str(), __FILE__,
                        __LINE__);
    }
    checkSame(again, line);
    return 0;
}
