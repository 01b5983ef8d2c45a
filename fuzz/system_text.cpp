// System texts read from outside the program: the mounts table, /proc/PID/stat, "Key: N kB"
// fields and the registry store's value files. None may crash or hang on any input, and the
// mount-field escapes must undo what the kernel writes.
#include "FuzzCheck.h"
#include "platform/Mounts.h"
#include "platform/Processes.h"
#include "platform/SystemFacts.h"
#include "tools/modReg.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

/// The kernel's escaping of a mount field: blank, tab, newline and backslash as three octal digits.
std::string kernelEscaped(std::string_view field) {
    std::string out;
    for (const char c : field) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\%03o", static_cast<unsigned char>(c));
            out += buffer;
        } else {
            out += c;
        }
    }
    return out;
}

/// A registry store in a temporary folder, made once, whose one value file the input replaces.
struct Store {
    Store() {
        char pattern[] = "/tmp/kesto-fuzz-store.XXXXXX";
        root = ::mkdtemp(pattern);
        where.storeRoot = root + "/store";
        where.ruleFolder = root + "/rules";
        std::filesystem::create_directories(where.ruleFolder);
        modReg::Value value = std::string("seed");
        modReg::RegWriteValue(kRoot, kKey, "Name", value, 1, where);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(where.storeRoot)) {
            if (entry.is_regular_file() && entry.path().filename() == "values") {
                valuesFile = entry.path().string();
            }
        }
        if (valuesFile.empty()) {
            std::abort();
        }
    }
    ~Store() { std::filesystem::remove_all(root); }

    static constexpr std::uint32_t kRoot = modReg::HKEY_LOCAL_MACHINE;
    static constexpr const char* kKey = "SOFTWARE\\Kesto\\Fuzz";
    std::string root;
    modReg::Locations where;
    std::string valuesFile;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzzcheck::asText(data, size);

    for (const platform::MountEntry& entry : platform::parseMounts(text)) {
        // What the kernel escapes comes back byte for byte.
        FUZZ_CHECK_EQ(platform::unescapeMountField(kernelEscaped(entry.mountPoint)),
                      entry.mountPoint);
    }
    FUZZ_CHECK_EQ(platform::unescapeMountField(kernelEscaped(text)), std::string(text));

    if (const auto stat = platform::parseProcessStat(text)) {
        FUZZ_CHECK(text.rfind(')') != std::string_view::npos);
    }
    for (const char* key : {"MemTotal", "MemAvailable", "VmSize", ""}) {
        (void)platform::procFieldBytes(text, key);
    }

    static Store store;
    {
        std::ofstream file(store.valuesFile, std::ios::binary | std::ios::trunc);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    (void)modReg::RegReadValue(Store::kRoot, Store::kKey, "Name", store.where);
    modReg::KeyHandle key;
    if (modReg::RegOpenKey(Store::kRoot, Store::kKey, false, key, store.where) == 0) {
        modReg::Value value;
        (void)modReg::RegQueryTyped(key, "name", value);
    }
    return 0;
}
