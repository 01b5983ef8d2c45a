// YaraRules for builds without libyara (Windows: no build of it exists for the cross compiler).
// Every rule file is refused with a problem that says so, so that a user's rules never look
// loaded while nothing checks them.
#include "signatures/YaraRules.h"

struct YaraRules::Engine {};

YaraRules::YaraRules(std::unique_ptr<Engine> engine) : m_engine(std::move(engine)) {}

YaraRules::~YaraRules() = default;

bool YaraRules::Available() {
    return false;
}

std::unique_ptr<YaraRules> YaraRules::Compile(const std::vector<YaraSourceText>& sources,
                                              std::vector<YaraProblem>& problems,
                                              std::vector<std::size_t>& ruleCounts) {
    ruleCounts.assign(sources.size(), 0);
    for (const YaraSourceText& source : sources) {
        problems.push_back({source.path, 0, source.path + ": " + std::string(kMissingLibrary)});
    }
    return nullptr;
}

// No object exists in this build; these answer as for rules that hold nothing.
YaraRules::Result YaraRules::scan(std::string_view, const FileFacts&, int) const {
    return {Outcome::Failed, 0, 0, std::string(kMissingLibrary)};
}

std::string YaraRules::threatName(std::size_t, std::size_t) const {
    return {};
}

std::string YaraRules::description(std::size_t, std::size_t) const {
    return {};
}

std::size_t YaraRules::ruleCount(std::size_t) const {
    return 0;
}
