// make_corpus: writes a repeatable corpus for the whole-scan benchmark (run_scan_bench.sh).
//
//   OUT/tree/                 the folder to scan: nested folders of files of mixed sizes and types
//   OUT/Virus Database.dll    a signature database (random lines plus the planted checksums)
//   OUT/expected.txt          the detections a scan must list, paths relative to OUT/tree
//   OUT/corpus.txt            what was made; written last, so its presence means "complete"
//
// The same options and seed give the same bytes. Besides the planted detections the corpus holds
// files built to stay clean, each on one rule of the per-file check: a checksum listed only after
// the end line or in lower case, a listed file of 750 KB or more, a pattern in a file that is not a
// program, a program of 4000 KB or more.

#include "BenchFiles.h"
#include "engine/Crc32.h"
#include "engine/SignatureDatabase.h"
#include "engine/StringSignature.h"
#include "scanner/DetectionList.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/statvfs.h>
#include <unordered_set>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The per-file check's limits in bytes: programs from this size on are not examined at all, and
// files from this size on are not checksummed.
constexpr std::uint64_t kExamineLimit = 4'096'000;
constexpr std::uint64_t kChecksumLimit = 768'000;

constexpr std::uint64_t kSmallMin = 1024;
constexpr std::uint64_t kSmallMax = 20 * 1024;
constexpr std::uint64_t kMediumMin = 20 * 1024;
constexpr std::uint64_t kMediumMax = 700 * 1024;
constexpr std::uint64_t kProgramMin = 4 * 1024;
constexpr std::uint64_t kProgramMax = 3'900'000;
constexpr std::uint64_t kTinyMax = 4096;

constexpr const char* kMarkerName = ".kesto-corpus";
constexpr const char* kSummaryName = "corpus.txt";
constexpr const char* kExpectedName = "expected.txt";
constexpr const char* kDatabaseName = "Virus Database.dll";
constexpr const char* kTreeName = "tree";

/// What the files are: the usual mix of sizes and types, programs only, or tiny files only.
enum class Mix { Mixed, Programs, Tiny };
constexpr const char* kMixNames[] = {"mixed", "programs", "tiny"};

struct Options {
    fs::path out;
    Mix mix = Mix::Mixed;
    std::size_t files = 20'000;
    std::uint64_t bytes = 3'000'000'000;
    std::uint64_t seed = 1;
    std::size_t databaseLines = 3000;
};

/// splitmix64: small, fast and the same on every platform, unlike the standard distributions.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    /// A number in [0, n); n > 0.
    std::uint64_t below(std::uint64_t n) { return next() % n; }
    /// A number in [low, high].
    std::uint64_t between(std::uint64_t low, std::uint64_t high) {
        return low + below(high - low + 1);
    }
    bool chance(double p) { return static_cast<double>(next() >> 11) * 0x1.0p-53 < p; }
    template <class T> void shuffle(std::vector<T>& items) {
        for (std::size_t i = items.size(); i > 1; --i) {
            std::swap(items[i - 1], items[below(i)]);
        }
    }

private:
    std::uint64_t m_state;
};

enum class Kind { Small, Medium, Program };

/// What a file was built for.
enum class Role {
    Plain,
    Checksum,          ///< listed in the database: detected by its checksum
    Pattern,           ///< a program holding a virus pattern: detected by the pattern
    AfterEndLine,      ///< listed only after the end line: clean
    LowerCaseKey,      ///< listed with its key in lower case: clean
    ChecksumTooLarge,  ///< listed, but 750 KB or more: clean
    PatternNotProgram, ///< holds a pattern but is not a program: clean
    PatternTooLarge,   ///< a program holding a pattern, 4000 KB or more: clean
};

struct Folder {
    std::string path; ///< relative to the tree, empty for the tree itself, else ending in '/'
    int depth = 0;
};

struct PlannedFile {
    std::size_t folder = 0;
    Kind kind = Kind::Small;
    std::string extension;
    std::uint64_t size = 0;
    Role role = Role::Plain;
    std::vector<std::size_t> patterns; ///< virus list positions (0-based) written into the file
    bool alsoListed = false;           ///< a pattern file whose checksum is listed as well
    std::string threat;                ///< database name of a listed checksum
    std::string shadowedThreat;        ///< a later line with the same key, never reported
    std::string name;
    std::uint32_t crc = 0;
};

struct DatabaseLine {
    std::string key;
    std::string name;
};

std::string checksumText(std::uint32_t crc) {
    char text[9];
    std::snprintf(text, sizeof text, "%" PRIX32, crc);
    return text;
}

std::string lowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string withThousands(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) {
            grouped.push_back(',');
        }
        grouped.push_back(digits[i]);
    }
    return grouped;
}

// ---------------------------------------------------------------------------------------------
// Options

[[noreturn]] void usage(const std::string& problem) {
    if (!problem.empty()) {
        std::cerr << "make_corpus: " << problem << "\n\n";
    }
    std::cerr << "Usage: make_corpus --out DIR [--files N] [--bytes SIZE] [--seed N] "
                 "[--database-lines N] [--mix KIND]\n"
                 "  --out DIR             where to write (created; a corpus already there is "
                 "replaced)\n"
                 "  --files N             number of files (default 20000)\n"
                 "  --bytes SIZE          total size to aim at, with an optional k, M or G suffix\n"
                 "                        (powers of 1000; default 3G)\n"
                 "  --seed N              seed of the generator (default 1)\n"
                 "  --database-lines N    random signature lines besides the planted ones "
                 "(default 3000)\n"
                 "  --mix KIND            mixed (the default), programs (every file a program)\n"
                 "                        or tiny (files of 0 to 4096 bytes, no programs)\n";
    std::exit(2);
}

std::uint64_t parseNumber(const std::string& text, bool withSuffix) {
    std::size_t used = 0;
    std::uint64_t value = 0;
    try {
        value = std::stoull(text, &used);
    } catch (const std::exception&) {
        usage("not a number: '" + text + "'");
    }
    const std::string suffix = text.substr(used);
    std::uint64_t factor = 1;
    if (suffix.empty()) {
        return value;
    }
    if (withSuffix && (suffix == "k" || suffix == "K")) {
        factor = 1000;
    } else if (withSuffix && suffix == "M") {
        factor = 1'000'000;
    } else if (withSuffix && suffix == "G") {
        factor = 1'000'000'000;
    } else {
        usage("not a number: '" + text + "'");
    }
    return value * factor;
}

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            usage("");
        }
        if (i + 1 >= argc) {
            usage("option '" + argument + "' needs a value");
        }
        const std::string value = argv[++i];
        if (argument == "--out") {
            options.out = value;
        } else if (argument == "--files") {
            options.files = parseNumber(value, false);
        } else if (argument == "--bytes") {
            options.bytes = parseNumber(value, true);
        } else if (argument == "--seed") {
            options.seed = parseNumber(value, false);
        } else if (argument == "--database-lines") {
            options.databaseLines = parseNumber(value, false);
        } else if (argument == "--mix") {
            const auto* known = std::find(std::begin(kMixNames), std::end(kMixNames), value);
            if (known == std::end(kMixNames)) {
                usage("--mix takes mixed, programs or tiny, not '" + value + "'");
            }
            options.mix = static_cast<Mix>(known - std::begin(kMixNames));
        } else {
            usage("unknown option '" + argument + "'");
        }
    }
    if (options.out.empty()) {
        usage("--out is required");
    }
    if (options.files < 100) {
        usage("--files must be at least 100");
    }
    return options;
}

// ---------------------------------------------------------------------------------------------
// The plan: folders, files, sizes and roles, decided before anything is written

std::vector<Folder> planFolders(std::size_t count, Random& random) {
    static constexpr const char* kNames[] = {
        "docs",  "Program Files", "My Music", "setup",  "bin",        "lib",
        "cache", ".config",       "Download", "photos", "projects",   "src",
        "temp",  "Games",         "drivers",  "backup", "Local Data", "build",
    };
    constexpr int kMaxDepth = 7;
    std::vector<Folder> folders{Folder{}};
    while (folders.size() < count) {
        const Folder& parent = folders[random.below(folders.size())];
        if (parent.depth >= kMaxDepth) {
            continue;
        }
        const std::string name = std::string(kNames[random.below(std::size(kNames))]) + " " +
                                 std::to_string(folders.size());
        folders.push_back(Folder{parent.path + name + "/", parent.depth + 1});
    }
    return folders;
}

std::string programExtension(Random& random) {
    const std::uint64_t pick = random.below(20);
    if (pick < 14) {
        return ".exe";
    }
    if (pick < 17) {
        return ".scr";
    }
    return pick < 19 ? ".EXE" : ".Scr";
}

std::string plainExtension(Random& random) {
    static constexpr const char* kExtensions[] = {".txt", ".jpg", ".png", ".pdf",  ".doc", ".dll",
                                                  ".dat", ".log", ".bin", ".html", ".ini", ""};
    return kExtensions[random.below(std::size(kExtensions))];
}

/// Scales the medium files and the programs so that the whole corpus comes close to `target`
/// bytes; sizes stay within their caps, so a target far from the natural size is only approached.
void scaleSizes(std::vector<PlannedFile>& files, std::uint64_t target) {
    std::uint64_t fixed = 0;
    std::vector<std::uint64_t> base(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        base[i] = files[i].size;
        if (files[i].kind == Kind::Small) {
            fixed += files[i].size;
        }
    }
    const auto apply = [&](double factor) {
        std::uint64_t total = fixed;
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (files[i].kind == Kind::Small) {
                continue;
            }
            const bool program = files[i].kind == Kind::Program;
            const double scaled = std::round(static_cast<double>(base[i]) * factor);
            files[i].size = std::clamp<std::uint64_t>(static_cast<std::uint64_t>(scaled),
                                                      program ? kProgramMin : 1,
                                                      program ? kProgramMax : kMediumMax);
            total += files[i].size;
        }
        return total;
    };
    if (target <= fixed) {
        return;
    }
    double factor = 1.0;
    for (int round = 0; round < 30; ++round) {
        const std::uint64_t total = apply(factor);
        if (total == fixed) {
            return;
        }
        factor *= static_cast<double>(target - fixed) / static_cast<double>(total - fixed);
        factor = std::clamp(factor, 1e-4, 1e4);
    }
    apply(factor);
}

struct Plan {
    std::vector<Folder> folders;
    std::vector<PlannedFile> files;
};

/// Indexes of files that still have no role and fit `accept`, in random order.
template <class Accept>
std::vector<std::size_t> candidates(const std::vector<PlannedFile>& files, Random& random,
                                    Accept accept) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i].role == Role::Plain && accept(files[i])) {
            found.push_back(i);
        }
    }
    random.shuffle(found);
    return found;
}

Plan makePlan(const Options& options, Random& random) {
    Plan plan;
    plan.folders = planFolders(std::max<std::size_t>(1, options.files / 64), random);

    plan.files.resize(options.files);
    for (PlannedFile& file : plan.files) {
        file.folder = random.below(plan.folders.size());
        const std::uint64_t pick = options.mix == Mix::Programs ? 0 : random.below(100);
        if (options.mix == Mix::Tiny) {
            file.kind = Kind::Small;
            file.size = random.between(0, kTinyMax);
            file.extension = plainExtension(random);
        } else if (pick < 5) {
            file.kind = Kind::Program;
            file.size = random.between(kProgramMin, kProgramMax);
            file.extension = programExtension(random);
        } else if (pick < 15) {
            file.kind = Kind::Medium;
            file.size = random.between(kMediumMin, kMediumMax);
            file.extension = plainExtension(random);
        } else {
            file.kind = Kind::Small;
            file.size = random.between(kSmallMin, kSmallMax);
            file.extension = plainExtension(random);
        }
    }
    scaleSizes(plan.files, options.bytes);

    const auto& entries = StringSignature::VirusEntries();
    const std::size_t patternCount = entries.size();
    const std::size_t patternPlants = std::max<std::size_t>(patternCount, options.files / 200);
    const std::size_t checksumPlants = std::max<std::size_t>(10, options.files / 100);
    const std::size_t decoys = std::max<std::size_t>(2, options.files / 2000);

    // Pattern detections: programs holding one pattern, in list order round and round; some hold a
    // second, later pattern as well (the earlier one is reported), some are exactly as large as
    // their entry's size (no "Infected File (s)"), some are listed in the database too (the pattern
    // wins).
    const auto programs = candidates(plan.files, random, [](const PlannedFile& file) {
        return file.kind == Kind::Program && file.size < kChecksumLimit;
    });
    const auto largePrograms = candidates(plan.files, random, [](const PlannedFile& file) {
        return file.kind == Kind::Program && file.size >= kChecksumLimit;
    });
    std::size_t nextSmall = 0;
    std::size_t nextLarge = 0;
    for (std::size_t plant = 0; plant < patternPlants; ++plant) {
        // Two in three from the large programs, as the corpus's bytes are.
        const bool large = plant % 3 != 0 && nextLarge < largePrograms.size();
        if (!large && nextSmall >= programs.size()) {
            break;
        }
        PlannedFile& file = plan.files[large ? largePrograms[nextLarge++] : programs[nextSmall++]];
        const std::size_t pattern = plant % patternCount;
        file.role = Role::Pattern;
        file.patterns = {pattern};
        const auto entrySize = static_cast<std::uint64_t>(entries[pattern].size);
        if (!large && plant % 2 == 0 && entrySize < kChecksumLimit &&
            entrySize >= 2 * entries[pattern].pattern.size()) {
            file.size = entrySize; // not larger than the entry's size: no information text
        } else if (plant % 5 == 1 && pattern + 1 < patternCount) {
            file.patterns.push_back(pattern + 1 + random.below(patternCount - pattern - 1));
        }
        file.alsoListed = plant % 7 == 3;
    }
    // One program just below the examine limit, detected by its pattern.
    if (nextLarge < largePrograms.size()) {
        PlannedFile& file = plan.files[largePrograms[nextLarge++]];
        file.role = Role::Pattern;
        file.size = kExamineLimit - 1;
        file.patterns = {random.below(patternCount)};
    }

    // Checksum detections: mostly ordinary files, a few programs without a pattern; some names
    // hold colons, some keys have a second line further down that must never be reported.
    const auto listable = candidates(
        plan.files, random, [](const PlannedFile& file) { return file.size < kChecksumLimit; });
    std::size_t nextListable = 0;
    for (std::size_t plant = 0; plant < checksumPlants && nextListable < listable.size(); ++plant) {
        PlannedFile& file = plan.files[listable[nextListable++]];
        file.role = Role::Checksum;
        if (plant == 0 && options.mix != Mix::Tiny) {
            file.size = kChecksumLimit - 1;
        }
    }

    // Files that must stay clean, each on one rule.
    for (std::size_t decoy = 0; decoy < decoys && nextListable + 2 <= listable.size(); ++decoy) {
        plan.files[listable[nextListable++]].role = Role::AfterEndLine;
        plan.files[listable[nextListable++]].role = Role::LowerCaseKey;
    }
    const auto plainFiles = candidates(
        plan.files, random, [](const PlannedFile& file) { return file.kind != Kind::Program; });
    std::size_t nextPlain = 0;
    const std::size_t largeDecoys = options.mix == Mix::Tiny ? 0 : decoys;
    for (std::size_t decoy = 0; decoy < largeDecoys && nextPlain + 2 <= plainFiles.size();
         ++decoy) {
        PlannedFile& tooLarge = plan.files[plainFiles[nextPlain++]];
        tooLarge.role = Role::ChecksumTooLarge;
        tooLarge.size = decoy == 0 ? kChecksumLimit : random.between(kChecksumLimit, 1'000'000);
        PlannedFile& notProgram = plan.files[plainFiles[nextPlain++]];
        notProgram.role = Role::PatternNotProgram;
        notProgram.patterns = {random.below(patternCount)};
        notProgram.extension = decoy % 2 == 0 ? ".exe.bak" : ".dll";
    }
    if (nextLarge < largePrograms.size()) {
        PlannedFile& file = plan.files[largePrograms[nextLarge++]];
        file.role = Role::PatternTooLarge;
        file.size = kExamineLimit;
        file.patterns = {random.below(patternCount)};
    }
    // A few empty files (checksum text "0", which the database does not list).
    for (std::size_t i = 0; i < decoys && nextPlain < plainFiles.size(); ++i) {
        plan.files[plainFiles[nextPlain++]].size = 0;
    }

    static constexpr const char* kStems[] = {"report", "IMG_",  "setup",    "readme",
                                             "data",   "track", "invoice ", "a file "};
    for (std::size_t i = 0; i < plan.files.size(); ++i) {
        PlannedFile& file = plan.files[i];
        char number[24];
        std::snprintf(number, sizeof number, "%05zu", i);
        file.name = std::string(kStems[random.below(std::size(kStems))]) + number + file.extension;
    }
    return plan;
}

// ---------------------------------------------------------------------------------------------
// Writing

void fillRandom(std::string& buffer, std::uint64_t size, std::uint64_t seed) {
    Random random(seed);
    buffer.resize(size);
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        const std::uint64_t word = random.next();
        std::memcpy(buffer.data() + i, &word, 8);
    }
    const std::uint64_t word = random.next();
    std::memcpy(buffer.data() + i, &word, size - i);
}

/// Writes the patterns at random places, each in its own stretch of the file so that they do not
/// overlap.
void writePatterns(std::string& content, const std::vector<std::size_t>& patterns, Random& random) {
    const auto& entries = StringSignature::VirusEntries();
    const std::size_t stretch = content.size() / std::max<std::size_t>(1, patterns.size());
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        const std::string& bytes = entries[patterns[i]].pattern;
        if (stretch < bytes.size()) {
            throw std::logic_error("file too small for its patterns");
        }
        const std::size_t at = i * stretch + random.below(stretch - bytes.size() + 1);
        content.replace(at, bytes.size(), bytes);
    }
}

/// Clears what an earlier run left in `out`; refuses a folder that holds anything else.
void prepareOutput(const fs::path& out) {
    fs::create_directories(out);
    const bool ours = fs::exists(out / kMarkerName);
    if (!ours && !fs::is_empty(out)) {
        throw std::runtime_error(out.string() +
                                 " is not empty and holds no corpus; choose another folder");
    }
    writeFile(out / kMarkerName, "made by make_corpus\n");
    for (const char* name : {kSummaryName, kExpectedName, kDatabaseName, kTreeName}) {
        fs::remove_all(out / name);
    }
}

void checkFreeSpace(const fs::path& out, std::uint64_t needed) {
    struct statvfs info {};
    if (::statvfs(out.c_str(), &info) != 0) {
        return;
    }
    const std::uint64_t available = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
    if (available < needed + needed / 20 + 100'000'000) {
        throw std::runtime_error("not enough free space in " + out.string() + ": " +
                                 withThousands(available) + " bytes free, the corpus needs about " +
                                 withThousands(needed));
    }
}

std::string detectionLine(const std::string& path, const std::string& name, std::uint64_t size,
                          std::string_view information) {
    std::string line = path + ": " + name + " FOUND (" + std::to_string(size) + " bytes)";
    if (!information.empty()) {
        line += " ";
        line += information;
    }
    return line;
}

struct Totals {
    std::uint64_t bytes = 0;
    std::size_t byChecksum = 0;
    std::size_t byPattern = 0;
    std::size_t clean = 0; ///< files built to stay clean
    std::size_t databaseLines = 0;
};

/// Writes the database: the random lines and the listed checksums in random order (a repeated key
/// always after its first line), the end line, and the lines that come after it.
std::size_t writeDatabase(const fs::path& path, const Plan& plan, const Options& options,
                          Random& random) {
    std::unordered_set<std::uint32_t> taken{0};
    for (const PlannedFile& file : plan.files) {
        taken.insert(file.crc);
    }
    std::vector<DatabaseLine> lines;
    for (std::size_t i = 0; i < options.databaseLines; ++i) {
        std::uint32_t value = 0;
        do {
            value = static_cast<std::uint32_t>(random.next());
        } while (!taken.insert(value).second);
        const std::string name = i % 10 == 0 ? "Trojan:W32/Sample." + std::to_string(i)
                                             : "W32.Sample." + std::to_string(i);
        lines.push_back({checksumText(value), name});
    }
    std::vector<DatabaseLine> afterEnd;
    std::vector<DatabaseLine> shadowed;
    for (const PlannedFile& file : plan.files) {
        const std::string key = checksumText(file.crc);
        switch (file.role) {
        case Role::Checksum:
        case Role::ChecksumTooLarge:
            lines.push_back({key, file.threat});
            if (!file.shadowedThreat.empty()) {
                shadowed.push_back({key, file.shadowedThreat});
            }
            break;
        case Role::Pattern:
            if (file.alsoListed) {
                lines.push_back({key, file.threat});
            }
            break;
        case Role::LowerCaseKey:
            lines.push_back({lowerCase(key), file.threat});
            break;
        case Role::AfterEndLine:
            afterEnd.push_back({key, file.threat});
            break;
        default:
            break;
        }
    }
    random.shuffle(lines);
    for (const DatabaseLine& line : shadowed) {
        const auto first = std::find_if(lines.begin(), lines.end(),
                                        [&](const DatabaseLine& l) { return l.key == line.key; });
        const auto after = static_cast<std::size_t>(first - lines.begin()) + 1;
        const auto at = after + random.below(lines.size() - after + 1);
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), line);
    }

    std::string text;
    for (const DatabaseLine& line : lines) {
        text += line.key + ":" + line.name + "\r\n";
    }
    text += std::string(SignatureDatabase::kEndLine) + "\r\n";
    for (const DatabaseLine& line : afterEnd) {
        text += line.key + ":" + line.name + "\r\n";
    }
    writeFile(path, text);
    // An old modification time: the scanner's index distrusts a file changed in the last seconds.
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(1));
    return lines.size() + 1 + afterEnd.size();
}

Totals writeCorpus(Plan& plan, const Options& options, Random& random) {
    const fs::path tree = options.out / kTreeName;
    for (const Folder& folder : plan.folders) {
        fs::create_directories(tree / folder.path);
    }
    const auto& entries = StringSignature::VirusEntries();
    Totals totals;
    std::vector<std::string> expected;
    std::string content;
    for (std::size_t i = 0; i < plan.files.size(); ++i) {
        PlannedFile& file = plan.files[i];
        fillRandom(content, file.size, options.seed * 0x100000001B3ull + i);
        Random placement(options.seed ^ (0xC0FFEEull + i));
        writePatterns(content, file.patterns, placement);
        const std::string relative = plan.folders[file.folder].path + file.name;
        writeFile(tree / relative, content);
        totals.bytes += file.size;
        file.crc = crc32::update(0xFFFFFFFFu, content) ^ 0xFFFFFFFFu;

        const std::string number = std::to_string(i);
        switch (file.role) {
        case Role::Plain:
            break;
        case Role::Checksum: {
            file.threat =
                i % 4 == 0 ? "Trojan:W32/Bench." + number : "W32.Bench.Checksum." + number;
            if (i % 13 == 0) {
                file.shadowedThreat = "W32.Bench.Shadowed." + number;
            }
            expected.push_back(detectionLine(relative, file.threat, file.size, kChecksumAdvice));
            ++totals.byChecksum;
            break;
        }
        case Role::Pattern: {
            const auto& entry =
                entries[*std::min_element(file.patterns.begin(), file.patterns.end())];
            const bool larger = static_cast<std::uint64_t>(std::max(entry.size, 0)) < file.size;
            file.threat = "W32.Bench.ListedToo." + number;
            expected.push_back(detectionLine(relative, entry.name, file.size,
                                             larger ? kInfectedFileInformation : ""));
            ++totals.byPattern;
            break;
        }
        case Role::LowerCaseKey:
            // A key of digits only reads the same in lower case; such a file goes after the end
            // line instead.
            if (lowerCase(checksumText(file.crc)) == checksumText(file.crc)) {
                file.role = Role::AfterEndLine;
            }
            [[fallthrough]];
        default:
            file.threat = "W32.Bench.MustStayClean." + number;
            ++totals.clean;
            break;
        }
    }
    totals.databaseLines = writeDatabase(options.out / kDatabaseName, plan, options, random);

    std::sort(expected.begin(), expected.end());
    std::string text;
    for (const std::string& line : expected) {
        text += line + "\n";
    }
    writeFile(options.out / kExpectedName, text);
    return totals;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    try {
        prepareOutput(options.out);
        checkFreeSpace(options.out, options.bytes);
        Random random(options.seed);
        Plan plan = makePlan(options, random);
        const Totals totals = writeCorpus(plan, options, random);

        const std::size_t detections = totals.byChecksum + totals.byPattern;
        const fs::path out = fs::canonical(options.out);
        std::string summary = "files=" + std::to_string(plan.files.size()) +
                              "\nbytes=" + std::to_string(totals.bytes) +
                              "\nfolders=" + std::to_string(plan.folders.size()) +
                              "\ndetections=" + std::to_string(detections) +
                              "\nby_checksum=" + std::to_string(totals.byChecksum) +
                              "\nby_pattern=" + std::to_string(totals.byPattern) +
                              "\nclean_on_purpose=" + std::to_string(totals.clean) +
                              "\ndatabase_lines=" + std::to_string(totals.databaseLines) +
                              "\nseed=" + std::to_string(options.seed) +
                              "\nmix=" + kMixNames[static_cast<int>(options.mix)] + "\n";
        writeFile(out / kSummaryName, summary);

        std::cout << "make_corpus: " << withThousands(plan.files.size()) << " files, "
                  << withThousands(totals.bytes) << " bytes, " << plan.folders.size()
                  << " folders under " << (out / kTreeName).string() << '\n'
                  << "  planted detections: " << detections << " (" << totals.byChecksum
                  << " by checksum, " << totals.byPattern << " by pattern)\n"
                  << "  files built to stay clean: " << totals.clean << '\n'
                  << "  database: " << (out / kDatabaseName).string() << " ("
                  << totals.databaseLines << " lines)\n"
                  << "  expected detections: " << (out / kExpectedName).string() << '\n';
    } catch (const std::exception& error) {
        std::cerr << "make_corpus: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
