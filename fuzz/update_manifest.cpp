// Fuzzes the reading of update manifests, which arrive from a network before anything else is
// trusted (their signature is checked first, but a signed manifest may still be wrong). Whatever
// the input, reading gives a manifest or a reason, never both; a manifest read keeps every rule
// that installing relies on (plain unique names of signature files, bounded sizes and counts), and
// writing it out and reading it again gives the same manifest.

#include "FuzzCheck.h"
#include "update/UpdateManifest.h"

#include <nlohmann/json.hpp>
#include <set>
#include <string>

namespace {

bool isSignatureName(const std::string& name) {
    for (const char* extension : {".hashes", ".hsb", ".hdb", ".yar", ".yara"}) {
        const std::string_view ending(extension);
        if (name.size() > ending.size() && name.ends_with(ending)) {
            return true;
        }
    }
    return false;
}

void checkName(const std::string& name) {
    FUZZ_CHECK(!name.empty() && name.size() <= 255);
    FUZZ_CHECK(name.front() != '.');
    FUZZ_CHECK(name.find('/') == std::string::npos && name.find('\\') == std::string::npos);
    for (const char c : name) {
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
    }
    FUZZ_CHECK(name != kManifestName && name != kManifestSignatureName);
    FUZZ_CHECK(isSignatureName(name));
}

std::string written(const UpdateManifest& manifest) {
    nlohmann::json document;
    document["format"] = 1;
    document["version"] = manifest.version;
    document["date"] = manifest.date;
    document["files"] = nlohmann::json::array();
    for (const ManifestFile& file : manifest.files) {
        document["files"].push_back(
            {{"name", file.name}, {"size", file.size}, {"sha256", file.sha256}});
    }
    return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    const std::optional<UpdateManifest> manifest =
        ParseUpdateManifest(fuzzcheck::asText(data, size), error);
    if (!manifest) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    FUZZ_CHECK(error.empty());
    FUZZ_CHECK(manifest->version >= 1);
    FUZZ_CHECK_EQ(manifest->date.size(), 10u);
    FUZZ_CHECK(manifest->files.size() <= 10000);
    std::set<std::string> names;
    std::uint64_t total = 0;
    for (const ManifestFile& file : manifest->files) {
        checkName(file.name);
        FUZZ_CHECK(names.insert(file.name).second);
        FUZZ_CHECK(file.size <= (1ull << 30));
        total += file.size;
        FUZZ_CHECK_EQ(file.sha256.size(), 64u);
        FUZZ_CHECK(file.sha256.find_first_not_of("0123456789abcdef") == std::string::npos);
    }
    FUZZ_CHECK(total <= (4ull << 30));

    const std::optional<UpdateManifest> again = ParseUpdateManifest(written(*manifest), error);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK_EQ(again->version, manifest->version);
    FUZZ_CHECK_EQ(again->date, manifest->date);
    FUZZ_CHECK_EQ(again->files.size(), manifest->files.size());
    for (std::size_t index = 0; index < manifest->files.size(); ++index) {
        FUZZ_CHECK_EQ(again->files[index].name, manifest->files[index].name);
        FUZZ_CHECK_EQ(again->files[index].size, manifest->files[index].size);
        FUZZ_CHECK_EQ(again->files[index].sha256, manifest->files[index].sha256);
    }
    return 0;
}
