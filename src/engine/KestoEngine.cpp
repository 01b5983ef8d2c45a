#include "engine/KestoEngine.h"

#include "engine/PatternSet.h"
#include "engine/SignatureDatabase.h"
#include "engine/StringSignature.h"
#include "platform/InputFile.h"
#include "platform/ProgramFolder.h"

#include <mutex>

namespace KestoEngine {

namespace {

std::mutex tempDbMutex;
std::string tempDbChecksum;

std::string firstListed(const PatternSet& set,
                        const std::vector<StringSignature::EntryFields>& list,
                        const std::string& path) {
    const auto index = set.firstInFile(path);
    return index ? list[*index].name : std::string("Unknown");
}

} // namespace

std::string DefaultDatabasePath() {
    return platform::programFolder() + platform::kPathSeparator + std::string(kDatabaseFileName);
}

bool DatabaseFilePresent(const std::string& path) {
    platform::InputFile file;
    return !file.open(path);
}

std::string LookupChecksum(const SignatureDatabase& database, std::string_view checksumText,
                           std::uint64_t round, std::uint64_t* version) {
    std::string name = database.lookup(checksumText, round, version);
    // Checksum texts are never empty, so an unmarked (empty) temporary database never matches.
    const std::lock_guard lock(tempDbMutex);
    if (checksumText == tempDbChecksum) {
        name = kUserRequest;
    }
    return name;
}

std::string TempDbChecksum() {
    const std::lock_guard lock(tempDbMutex);
    return tempDbChecksum;
}

void SetTempDbChecksum(std::string checksumText) {
    const std::lock_guard lock(tempDbMutex);
    tempDbChecksum = std::move(checksumText);
}

std::string DetectPacker(const std::string& path) {
    return firstListed(StringSignature::PackerPatternSet(), StringSignature::PackerEntries(), path);
}

std::string DetectCompiler(const std::string& path) {
    return firstListed(StringSignature::CompilerPatternSet(), StringSignature::CompilerEntries(),
                       path);
}

} // namespace KestoEngine
