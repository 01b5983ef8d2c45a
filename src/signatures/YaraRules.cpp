#include "signatures/YaraRules.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <yara.h>

namespace {

/// The string variables every rule may use, set for each scanned file.
constexpr const char* kFilename = "filename";
constexpr const char* kFilepath = "filepath";
constexpr const char* kExtension = "extension";

/// libyara's global state, made once for the process and kept for its life.
int initializeLibrary() {
    static std::once_flag once;
    static int result = ERROR_SUCCESS;
    std::call_once(once, [] { result = yr_initialize(); });
    return result;
}

std::string errorText(int code) {
    switch (code) {
    case ERROR_INSUFFICIENT_MEMORY:
        return "libyara ran out of memory";
    case ERROR_EXEC_STACK_OVERFLOW:
        return "a rule's condition nests too deeply";
    case ERROR_TOO_MANY_MATCHES:
        return "a string of a rule matches too often";
    case ERROR_TOO_MANY_RE_FIBERS:
        return "a regular expression of a rule is too complex for this file";
    case ERROR_INTERNAL_FATAL_ERROR:
        return "libyara failed inside";
    default:
        return "libyara error " + std::to_string(code);
    }
}

/// The first error libyara reports while compiling one source; warnings are accepted.
struct CompileReport {
    bool failed = false;
    int line = 0;
    std::string message;
};

void onCompileMessage(int level, const char* /*fileName*/, int line, const YR_RULE* /*rule*/,
                      const char* message, void* userData) {
    auto& report = *static_cast<CompileReport*>(userData);
    if (level != YARA_ERROR_LEVEL_ERROR || report.failed) {
        return;
    }
    report.failed = true;
    report.line = line;
    report.message = message != nullptr ? message : "unknown error";
}

/// A compiler that refuses `include` and knows the file variables.
struct Compiler {
    YR_COMPILER* compiler = nullptr;
    CompileReport report;

    Compiler() = default;
    Compiler(const Compiler&) = delete;
    Compiler& operator=(const Compiler&) = delete;
    ~Compiler() {
        if (compiler != nullptr) {
            yr_compiler_destroy(compiler);
        }
    }

    int create() {
        if (const int error = yr_compiler_create(&compiler); error != ERROR_SUCCESS) {
            compiler = nullptr;
            return error;
        }
        yr_compiler_set_callback(compiler, onCompileMessage, &report);
        // Without an include callback the compiler answers an `include` with "includes are
        // disabled" and fails that source.
        yr_compiler_set_include_callback(compiler, nullptr, nullptr, nullptr);
        for (const char* name : {kFilename, kFilepath, kExtension}) {
            if (const int error = yr_compiler_define_string_variable(compiler, name, "");
                error != ERROR_SUCCESS) {
                return error;
            }
        }
        return ERROR_SUCCESS;
    }

    /// Adds one source in the namespace named after its index; false (with `report` filled)
    /// when it does not compile. After a failure libyara accepts no further source: the
    /// compiler must be made anew.
    bool add(std::size_t index, const std::string& text) {
        report = {};
        const std::string space = std::to_string(index);
        if (yr_compiler_add_string(compiler, text.c_str(), space.c_str()) == 0 && !report.failed) {
            return true;
        }
        if (!report.failed) {
            char message[512];
            yr_compiler_get_error_message(compiler, message, sizeof message);
            report = {true, 0, message};
        }
        return false;
    }
};

YaraProblem problemOf(const std::string& path, int line, const std::string& message) {
    std::string text = path;
    if (line > 0) {
        text += ':' + std::to_string(line);
    }
    text += ": " + message;
    return {path, line, std::move(text)};
}

/// The source index a namespace name stands for.
std::size_t sourceOfNamespace(const char* name) {
    const std::string_view text(name);
    std::size_t source = 0;
    std::from_chars(text.data(), text.data() + text.size(), source);
    return source;
}

/// A rule's string meta, or empty.
std::string metaText(const YR_RULE* rule, std::string_view identifier) {
    const YR_META* meta = nullptr;
    yr_rule_metas_foreach(rule, meta) {
        if (meta->type == META_TYPE_STRING && identifier == meta->identifier &&
            meta->string != nullptr && meta->string[0] != '\0') {
            return meta->string;
        }
    }
    return {};
}

/// One scanner with the buffers that hand it the file variables; each thread uses one at a time.
struct PooledScanner {
    YR_SCANNER* scanner = nullptr;
    std::string filename;
    std::string filepath;
    std::string extension;
};

/// What the scan callback learns: the first matching rule.
struct MatchReport {
    const YR_RULE* rule = nullptr;
};

int onScanMessage(YR_SCAN_CONTEXT* /*context*/, int message, void* messageData, void* userData) {
    if (message == CALLBACK_MSG_RULE_MATCHING) {
        static_cast<MatchReport*>(userData)->rule = static_cast<const YR_RULE*>(messageData);
        return CALLBACK_ABORT;
    }
    return CALLBACK_CONTINUE;
}

int setVariable(YR_SCANNER* scanner, const char* name, std::string& buffer,
                std::string_view value) {
    buffer.assign(value);
    return yr_scanner_define_string_variable(scanner, name, buffer.c_str());
}

} // namespace

struct YaraRules::Engine {
    struct Rule {
        std::string threat;
        std::string description;
    };
    struct Place {
        std::size_t source = 0;
        std::size_t rule = 0;
    };

    YR_RULES* rules = nullptr;
    /// Each source's rules, in rule order.
    std::vector<std::vector<Rule>> sources;
    /// Where each entry of libyara's rule table belongs (private rules have none).
    std::vector<Place> places;

    mutable std::mutex poolMutex;
    mutable std::vector<PooledScanner*> pool;

    Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    ~Engine() {
        for (PooledScanner* pooled : pool) {
            yr_scanner_destroy(pooled->scanner);
            delete pooled;
        }
        if (rules != nullptr) {
            yr_rules_destroy(rules);
        }
    }

    /// A scanner no other thread uses, made when every existing one is busy; null when libyara
    /// cannot make one (`error` says why).
    PooledScanner* acquire(int& error) const {
        {
            const std::lock_guard lock(poolMutex);
            if (!pool.empty()) {
                PooledScanner* pooled = pool.back();
                pool.pop_back();
                return pooled;
            }
        }
        YR_SCANNER* scanner = nullptr;
        error = yr_scanner_create(rules, &scanner);
        if (error != ERROR_SUCCESS) {
            return nullptr;
        }
        // Fast mode stops looking for a string after its first hit only where the conditions
        // ask no more than whether it occurs (counts and offsets keep every hit), so the first
        // matching rule stays the same. The memory is the caller's, so libyara need not catch
        // faults of a mapped file (which would install signal handlers around every scan).
        yr_scanner_set_flags(scanner, SCAN_FLAGS_FAST_MODE | SCAN_FLAGS_NO_TRYCATCH |
                                          SCAN_FLAGS_REPORT_RULES_MATCHING);
        auto* pooled = new PooledScanner;
        pooled->scanner = scanner;
        return pooled;
    }

    void release(PooledScanner* pooled) const {
        const std::lock_guard lock(poolMutex);
        pool.push_back(pooled);
    }
};

YaraRules::YaraRules(std::unique_ptr<Engine> engine) : m_engine(std::move(engine)) {}

YaraRules::~YaraRules() = default;

bool YaraRules::Available() {
    return true;
}

std::unique_ptr<YaraRules> YaraRules::Compile(const std::vector<YaraSourceText>& sources,
                                              std::vector<YaraProblem>& problems,
                                              std::vector<std::size_t>& ruleCounts) {
    ruleCounts.assign(sources.size(), 0);
    const auto refuseAll = [&](const std::string& why) {
        for (const YaraSourceText& source : sources) {
            problems.push_back(problemOf(source.path, 0, why));
        }
        return nullptr;
    };
    if (const int error = initializeLibrary(); error != ERROR_SUCCESS) {
        return refuseAll("libyara could not start: " + errorText(error));
    }

    // One compiler takes every source. A source that fails leaves the compiler unusable, so a
    // new one takes the sources accepted so far again and then the rest.
    auto compiler = std::make_unique<Compiler>();
    if (const int error = compiler->create(); error != ERROR_SUCCESS) {
        return refuseAll("libyara could not make a compiler: " + errorText(error));
    }
    std::vector<std::size_t> accepted;
    for (std::size_t index = 0; index < sources.size(); ++index) {
        const YaraSourceText& source = sources[index];
        // The compiler reads a C string: text after a NUL byte would be dropped unseen.
        if (source.text.find('\0') != std::string::npos) {
            problems.push_back(problemOf(source.path, 0, "the file holds a NUL byte"));
            continue;
        }
        if (compiler->add(index, source.text)) {
            accepted.push_back(index);
            continue;
        }
        problems.push_back(problemOf(source.path, compiler->report.line, compiler->report.message));
        compiler = std::make_unique<Compiler>();
        if (const int error = compiler->create(); error != ERROR_SUCCESS) {
            return refuseAll("libyara could not make a compiler: " + errorText(error));
        }
        for (const std::size_t earlier : accepted) {
            if (!compiler->add(earlier, sources[earlier].text)) {
                // The same text compiled before; only a lack of memory gets here.
                return refuseAll("libyara failed to compile the rules again: " +
                                 compiler->report.message);
            }
        }
    }
    if (accepted.empty()) {
        return nullptr;
    }

    auto engine = std::make_unique<Engine>();
    if (const int error = yr_compiler_get_rules(compiler->compiler, &engine->rules);
        error != ERROR_SUCCESS) {
        engine->rules = nullptr;
        return refuseAll("libyara could not finish the rules: " + errorText(error));
    }
    compiler.reset();

    engine->sources.resize(sources.size());
    std::size_t total = 0;
    const YR_RULE* rule = nullptr;
    yr_rules_foreach(engine->rules, rule) {
        ++total;
    }
    engine->places.resize(total);
    std::size_t found = 0;
    std::size_t slot = 0;
    yr_rules_foreach(engine->rules, rule) {
        const std::size_t entry = slot++;
        if (RULE_IS_PRIVATE(rule)) {
            continue;
        }
        const std::size_t source = sourceOfNamespace(rule->ns->name);
        auto& list = engine->sources.at(source);
        engine->places[entry] = {source, list.size()};
        std::string threat = metaText(rule, "threat");
        if (threat.empty()) {
            threat = metaText(rule, "malware");
        }
        if (threat.empty()) {
            threat = rule->identifier;
        }
        list.push_back({std::move(threat), metaText(rule, "description")});
        ++found;
    }
    for (std::size_t index = 0; index < sources.size(); ++index) {
        ruleCounts[index] = engine->sources[index].size();
    }
    if (found == 0) {
        return nullptr;
    }
    return std::unique_ptr<YaraRules>(new YaraRules(std::move(engine)));
}

YaraRules::Result YaraRules::scan(std::string_view content, const FileFacts& facts,
                                  int timeoutSeconds) const {
    Result result;
    int error = ERROR_SUCCESS;
    PooledScanner* pooled = m_engine->acquire(error);
    if (pooled == nullptr) {
        result.outcome = Outcome::Failed;
        result.error = "libyara could not make a scanner: " + errorText(error);
        return result;
    }
    YR_SCANNER* scanner = pooled->scanner;
    MatchReport match;
    yr_scanner_set_callback(scanner, onScanMessage, &match);
    yr_scanner_set_timeout(scanner, std::max(timeoutSeconds, 0));
    error = setVariable(scanner, kFilename, pooled->filename, facts.filename);
    if (error == ERROR_SUCCESS) {
        error = setVariable(scanner, kFilepath, pooled->filepath, facts.filepath);
    }
    if (error == ERROR_SUCCESS) {
        error = setVariable(scanner, kExtension, pooled->extension, facts.extension);
    }
    if (error == ERROR_SUCCESS) {
        static const std::uint8_t kEmpty = 0;
        const auto* data =
            content.empty() ? &kEmpty : reinterpret_cast<const std::uint8_t*>(content.data());
        error = yr_scanner_scan_mem(scanner, data, content.size());
    }
    m_engine->release(pooled);

    if (error == ERROR_SCAN_TIMEOUT) {
        result.outcome = Outcome::TimedOut;
    } else if (error != ERROR_SUCCESS) {
        result.outcome = Outcome::Failed;
        result.error = errorText(error);
    } else if (match.rule != nullptr) {
        const auto& place =
            m_engine->places[static_cast<std::size_t>(match.rule - m_engine->rules->rules_table)];
        result.outcome = Outcome::Matched;
        result.source = place.source;
        result.rule = place.rule;
    }
    return result;
}

std::string YaraRules::threatName(std::size_t source, std::size_t rule) const {
    return m_engine->sources.at(source).at(rule).threat;
}

std::string YaraRules::description(std::size_t source, std::size_t rule) const {
    return m_engine->sources.at(source).at(rule).description;
}

std::size_t YaraRules::ruleCount(std::size_t source) const {
    return source < m_engine->sources.size() ? m_engine->sources[source].size() : 0;
}
