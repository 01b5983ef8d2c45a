// yara_typical_rules: writes N rules of the kind analysts exchange, the same for the same seed, so
// that run_yara_bench.sh can time kesto's rule scan and the yara tool on the same rules.
//
//   yara_typical_rules [--rules N] [--seed S] > RULES
//
// Each rule has a few text strings (some `nocase`, some `wide`) and hex strings with wildcard
// bytes, jumps and alternatives; its condition asks for `any of them`, `2 of them` or all of them,
// some only in files that start like a program or below a size. The strings are random, so the
// rules find nothing in an ordinary corpus unless --plant is given: then every 50th rule also
// looks for "KESTO-PLANTED-<rule>", which a corpus can hold to check that both tools agree.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

/// splitmix64: the same numbers on every platform, unlike the standard distributions.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    /// A number in [low, high].
    unsigned between(unsigned low, unsigned high) {
        return low + static_cast<unsigned>(next() % (high - low + 1));
    }
    bool chance(unsigned percent) { return next() % 100 < percent; }

private:
    std::uint64_t m_state;
};

/// Letters, digits and the punctuation of paths, commands and registry keys, as text strings in
/// rules hold them; no quote or backslash, which would need escaping.
std::string textString(Random& random) {
    static constexpr std::string_view kAlphabet =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-./:%=";
    std::string text;
    const unsigned length = random.between(8, 24);
    for (unsigned i = 0; i < length; ++i) {
        text += kAlphabet[random.next() % kAlphabet.size()];
    }
    return text;
}

void appendBytes(Random& random, std::string& hex, unsigned count) {
    char pair[4];
    for (unsigned i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, "%02X ", static_cast<unsigned>(random.next() & 0xFF));
        hex += pair;
    }
}

/// Runs of fixed bytes with a wildcard byte, a jump or an alternative between them.
std::string hexString(Random& random) {
    std::string hex = "{ ";
    appendBytes(random, hex, random.between(4, 8));
    const unsigned gaps = random.between(1, 3);
    for (unsigned gap = 0; gap < gaps; ++gap) {
        switch (random.next() % 3) {
        case 0:
            hex += "?? ";
            break;
        case 1: {
            const unsigned low = random.between(1, 8);
            hex += "[" + std::to_string(low) + "-" + std::to_string(low + random.between(0, 16)) +
                   "] ";
            break;
        }
        default:
            hex += "( ";
            appendBytes(random, hex, 2);
            hex += "| ";
            appendBytes(random, hex, 2);
            hex += ") ";
            break;
        }
        appendBytes(random, hex, random.between(3, 6));
    }
    return hex + "}";
}

void writeRule(Random& random, unsigned number, bool plant) {
    std::printf("rule typical_%u {\n  meta:\n", number);
    std::printf("    description = \"Typical rule %u\"\n", number);
    std::printf("    threat = \"Bench.Typical.%u\"\n  strings:\n", number);
    const unsigned texts = random.between(1, 4);
    const unsigned hexes = random.between(texts == 1 ? 1 : 0, 3);
    unsigned strings = 0;
    for (unsigned i = 0; i < texts; ++i) {
        const char* modifier = "";
        if (random.chance(15)) {
            modifier = " nocase";
        } else if (random.chance(15)) {
            modifier = " ascii wide";
        }
        std::printf("    $s%u = \"%s\"%s\n", ++strings, textString(random).c_str(), modifier);
    }
    for (unsigned i = 0; i < hexes; ++i) {
        std::printf("    $s%u = %s\n", ++strings, hexString(random).c_str());
    }
    const bool planted = plant && number % 50 == 0;
    if (planted) {
        std::printf("    $planted = \"KESTO-PLANTED-%u\"\n", number);
    }

    std::string condition;
    const unsigned kind = random.between(0, 9);
    if (kind < 5 || strings == 1) {
        condition = "any of ($s*)";
    } else if (kind < 8) {
        condition = "2 of ($s*)";
    } else {
        condition = "all of ($s*)";
    }
    if (planted) {
        condition = "(" + condition + " or $planted)";
    }
    if (random.chance(20)) {
        condition = "uint16(0) == 0x5A4D and " + condition;
    }
    if (random.chance(25)) {
        condition = "filesize < " + std::to_string(random.between(1, 8)) + "MB and " + condition;
    }
    std::printf("  condition:\n    %s\n}\n\n", condition.c_str());
}

bool parseNumber(const char* text, unsigned long long& value) {
    char* end = nullptr;
    value = std::strtoull(text, &end, 10);
    return end != text && *end == '\0';
}

} // namespace

int main(int argc, char** argv) {
    unsigned long long rules = 1000;
    unsigned long long seed = 1;
    bool plant = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--plant") {
            plant = true;
        } else if (option == "--rules" && i + 1 < argc && parseNumber(argv[i + 1], rules)) {
            ++i;
        } else if (option == "--seed" && i + 1 < argc && parseNumber(argv[i + 1], seed)) {
            ++i;
        } else {
            std::fprintf(stderr, "usage: yara_typical_rules [--rules N] [--seed S] [--plant]"
                                 " > RULES\n");
            return 2;
        }
    }
    Random random(seed);
    for (unsigned long long number = 1; number <= rules; ++number) {
        writeRule(random, static_cast<unsigned>(number), plant);
    }
    std::fflush(stdout);
    return std::ferror(stdout) ? 1 : 0;
}
