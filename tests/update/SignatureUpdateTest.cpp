#include "update/SignatureUpdate.h"

#include "MinisignTool.h"
#include "platform/Digest.h"
#include "testsupport/PrivateTmpfs.h"
#include "testsupport/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using minisign_tool::read;
using minisign_tool::write;

std::string sha256(const std::string& bytes) {
    platform::Sha256 hash;
    hash.update(bytes);
    return hash.hexDigest();
}

/// Everything under `root`: each entry's path, kind, mode and content, so that two snapshots are
/// equal only when the tree is byte for byte the same.
std::map<std::string, std::string> snapshot(const std::string& root) {
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        struct stat info {};
        EXPECT_EQ(::lstat(entry.path().c_str(), &info), 0);
        std::string facts = std::to_string(info.st_mode);
        if (S_ISREG(info.st_mode)) {
            facts += ":" + read(entry.path().string());
        }
        entries[fs::relative(entry.path(), root).string()] = facts;
    }
    return entries;
}

/// What a faulty source does wrong.
struct Fault {
    /// This file breaks off after `breakAfter` bytes.
    std::string breakFile;
    std::size_t breakAfter = 0;
    /// This file goes on beyond the limit.
    std::string overlongFile;
};

/// A source that hands over what another gives, recording the files asked for, with a fault.
class RecordingSource final : public UpdateSource {
public:
    RecordingSource(UpdateSource& inner, Fault fault) : m_inner(inner), m_fault(std::move(fault)) {}

    std::string fetch(const std::string& name, std::uint64_t limit,
                      const std::function<bool(std::string_view piece)>& sink) override {
        fetched.push_back(name);
        if (name == m_fault.breakFile) {
            sink(std::string(m_fault.breakAfter, 'x'));
            return "the connection was reset";
        }
        if (name == m_fault.overlongFile) {
            // A source that ignores the limit: the installer must stop it all the same.
            for (std::uint64_t sent = 0; sent <= limit + 10; sent += 4) {
                if (!sink("abcd")) {
                    return "stopped by the receiver";
                }
            }
            return {};
        }
        return m_inner.fetch(name, limit, sink);
    }
    std::string describe() const override { return m_inner.describe(); }

    std::vector<std::string> fetched;

private:
    UpdateSource& m_inner;
    Fault m_fault;
};

class SignatureUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_temp.file("keys"));
        minisign_tool::makeKeys(m_temp.file("keys/publisher.pub"), m_temp.file("publisher.key"));
        minisign_tool::makeKeys(m_temp.file("stranger.pub"), m_temp.file("stranger.key"));
        m_paths.installRoot = m_temp.file("root");
        m_paths.trustedKeys = m_temp.file("keys");
    }

    /// Makes the set `version` in a new source folder: the files, a manifest listing them (with
    /// `tamper` applied to its text before signing) and its signature by `key`.
    std::string publish(std::uint64_t version, const std::map<std::string, std::string>& files,
                        const std::function<void(std::string&)>& tamper = {},
                        const std::string& key = "publisher.key") {
        const std::string folder = m_temp.file("source" + std::to_string(++m_sources));
        fs::create_directories(folder);
        std::string list;
        for (const auto& [name, content] : files) {
            write(folder + "/" + name, content);
            list += std::string(list.empty() ? "" : ",") + R"({"name": ")" + name +
                    R"(", "size": )" + std::to_string(content.size()) + R"(, "sha256": ")" +
                    sha256(content) + "\"}";
        }
        std::string manifest = R"({"format": 1, "version": )" + std::to_string(version) +
                               R"(, "date": "2024-06-0)" + std::to_string(version % 10) +
                               R"(", "files": [)" + list + "]}\n";
        if (tamper) {
            tamper(manifest);
        }
        write(folder + "/manifest.json", manifest);
        minisign_tool::sign(folder + "/manifest.json", m_temp.file(key),
                            "set " + std::to_string(version));
        return folder;
    }

    UpdateOutcome install(const std::string& folder, const Fault& fault = {}) {
        std::string error;
        std::unique_ptr<UpdateSource> source = OpenFolderSource(folder, error);
        EXPECT_TRUE(source) << error;
        if (!source) {
            return {};
        }
        RecordingSource recording(*source, fault);
        UpdateOutcome outcome = InstallUpdate(recording, m_paths);
        m_fetched = recording.fetched;
        return outcome;
    }

    std::uint64_t installedVersion() {
        std::string error;
        const std::optional<UpdateManifest> manifest = InstalledSet(m_paths, error);
        EXPECT_EQ(error, "");
        return manifest ? manifest->version : 0;
    }

    std::string current(const std::string& name) {
        return read(m_temp.file("root/signatures/" + name));
    }

    /// Installs versions 1 and 2, so that a failure has a current and a previous set to keep.
    void installTwoSets() {
        ASSERT_TRUE(install(publish(1, {{"one.hashes", "v1 list\n"}})).ok);
        const UpdateOutcome second =
            install(publish(2, {{"one.hashes", "v2 list\n"}, {"rules.yar", "rule r {}\n"}}));
        ASSERT_TRUE(second.ok) << second.message;
    }

    /// Checks that the failed `outcome` left the install folder as `before` and says `reason`.
    void expectRefused(const UpdateOutcome& outcome,
                       const std::map<std::string, std::string>& before,
                       const std::string& reason) {
        EXPECT_FALSE(outcome.ok);
        EXPECT_FALSE(outcome.changed);
        EXPECT_NE(outcome.message.find(reason), std::string::npos) << outcome.message;
        EXPECT_EQ(snapshot(m_paths.installRoot), before) << outcome.message;
    }

    testsupport::TempDir m_temp;
    UpdatePaths m_paths;
    std::vector<std::string> m_fetched;
    int m_sources = 0;
};

TEST_F(SignatureUpdateTest, InstallsNewerSetsAndKeepsThePreviousOne) {
    const UpdateOutcome first = install(publish(1, {{"one.hashes", "v1 list\n"}}));
    ASSERT_TRUE(first.ok) << first.message;
    EXPECT_TRUE(first.changed);
    EXPECT_EQ(first.version, 1u);
    EXPECT_EQ(first.message, "Installed signature set version 1 of 2024-06-01, 1 file.");
    EXPECT_EQ(current("one.hashes"), "v1 list\n");
    EXPECT_EQ(installedVersion(), 1u);
    EXPECT_EQ(InstalledSignatureFolder(m_paths), m_temp.file("root/signatures"));

    const std::string second =
        publish(2, {{"one.hashes", "v2 list\n"}, {"rules.yar", "rule r {}\n"}});
    const UpdateOutcome outcome = install(second);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_EQ(outcome.version, 2u);
    EXPECT_EQ(current("one.hashes"), "v2 list\n");
    EXPECT_EQ(current("rules.yar"), "rule r {}\n");
    // The set keeps its manifest and signature byte for byte, for checking it later.
    EXPECT_EQ(current("manifest.json"), read(second + "/manifest.json"));
    EXPECT_EQ(current("manifest.json.minisig"), read(second + "/manifest.json.minisig"));
    EXPECT_EQ(read(m_temp.file("root/signatures.previous/one.hashes")), "v1 list\n");
    // Readable by the users whose scans read it, whatever the umask.
    EXPECT_EQ(fs::status(m_temp.file("root/signatures")).permissions(), fs::perms(0755));
    EXPECT_EQ(fs::status(m_temp.file("root/signatures/rules.yar")).permissions(), fs::perms(0644));

    const UpdateOutcome third = install(publish(3, {{"three.hdb", "v3\n"}}));
    ASSERT_TRUE(third.ok) << third.message;
    EXPECT_EQ(read(m_temp.file("root/signatures.previous/rules.yar")), "rule r {}\n");
    EXPECT_FALSE(fs::exists(m_temp.file("root/signatures/rules.yar")));
    // Only the two sets and the lock remain.
    EXPECT_EQ(snapshot(m_paths.installRoot).size(), 1u + 4u + 5u);
}

TEST_F(SignatureUpdateTest, TheSameVersionFetchesNothingMoreAndAnOlderOneIsRefused) {
    installTwoSets();
    const auto before = snapshot(m_paths.installRoot);

    const UpdateOutcome same = install(publish(2, {{"other.hashes", "x\n"}}));
    EXPECT_TRUE(same.ok);
    EXPECT_FALSE(same.changed);
    EXPECT_EQ(same.message, "Signatures are up to date (version 2).");
    EXPECT_EQ(m_fetched, (std::vector<std::string>{"manifest.json", "manifest.json.minisig"}));
    EXPECT_EQ(snapshot(m_paths.installRoot), before);

    // A genuine older set, replayed.
    expectRefused(install(publish(1, {{"one.hashes", "v1 list\n"}})), before,
                  "older than the installed version 2");
    EXPECT_EQ(installedVersion(), 2u);
}

TEST_F(SignatureUpdateTest, EveryBadOfferLeavesTheInstalledSetsByteForByte) {
    installTwoSets();
    const auto before = snapshot(m_paths.installRoot);
    const std::map<std::string, std::string> files = {{"a.hashes", "good list\n"},
                                                      {"b.yara", "rule b {}\n"}};

    expectRefused(install(publish(3, files, {}, "stranger.key")), before, "is not trusted");

    // The manifest changed after signing.
    std::string folder = publish(3, files);
    std::string manifest = read(folder + "/manifest.json");
    manifest.replace(manifest.find("\"version\": 3"), 12, "\"version\": 4");
    write(folder + "/manifest.json", manifest);
    expectRefused(install(folder), before, "the signature does not match");

    // A listed file changed after signing, at the same size.
    folder = publish(3, files);
    write(folder + "/b.yara", "rule c {}\n");
    expectRefused(install(folder), before, "b.yara does not have the SHA-256");

    // Larger and smaller than the manifest says.
    folder = publish(3, files);
    write(folder + "/b.yara", "rule b {}\n// more\n");
    expectRefused(install(folder), before, "b.yara");
    folder = publish(3, files);
    write(folder + "/a.hashes", "good\n");
    expectRefused(install(folder), before, "a.hashes has 5 bytes, the manifest says 10");

    // A listed file missing from the source.
    folder = publish(3, files);
    fs::remove(folder + "/a.hashes");
    expectRefused(install(folder), before, "a.hashes");

    // Names that would leave the set's folder, signed by the trusted key all the same.
    write(m_temp.file("root/evil.hashes"), "");
    const auto withBait = snapshot(m_paths.installRoot);
    for (const std::string name : {"../evil.hashes", "/tmp/evil.hashes", "..", "signatures"}) {
        folder = publish(3, files,
                         [&](std::string& text) { text.replace(text.find("a.hashes"), 8, name); });
        expectRefused(install(folder), withBait, "is refused");
    }
    fs::remove(m_temp.file("root/evil.hashes"));

    // A transfer that breaks off, and a source that sends more than it may.
    Fault broken;
    broken.breakFile = "b.yara";
    broken.breakAfter = 3;
    expectRefused(install(publish(3, files), broken), before, "the connection was reset");
    Fault overlong;
    overlong.overlongFile = "a.hashes";
    expectRefused(install(publish(3, files), overlong), before,
                  "a.hashes is larger than the manifest says (10 bytes)");

    // The good offer still installs afterwards.
    EXPECT_TRUE(install(publish(3, files)).ok);
    EXPECT_EQ(current("a.hashes"), "good list\n");
}

TEST_F(SignatureUpdateTest, RollsBackOnceAndRemovesTheSetRolledBackFrom) {
    EXPECT_FALSE(RollBackUpdate(m_paths).ok); // nothing installed at all
    installTwoSets();
    const UpdateOutcome back = RollBackUpdate(m_paths);
    ASSERT_TRUE(back.ok) << back.message;
    EXPECT_TRUE(back.changed);
    EXPECT_EQ(back.version, 1u);
    EXPECT_EQ(back.message, "Rolled back to signature set version 1 of 2024-06-01, 1 file.");
    EXPECT_EQ(current("one.hashes"), "v1 list\n");
    EXPECT_FALSE(fs::exists(m_temp.file("root/signatures.previous")));

    const auto before = snapshot(m_paths.installRoot);
    const UpdateOutcome again = RollBackUpdate(m_paths);
    EXPECT_FALSE(again.ok);
    EXPECT_EQ(again.message, "No rollback: there is no earlier signature set.");
    EXPECT_EQ(snapshot(m_paths.installRoot), before);

    // Version 2 was rolled back from, not refused: it installs again.
    EXPECT_TRUE(install(publish(2, {{"one.hashes", "v2 list\n"}})).changed);
}

TEST_F(SignatureUpdateTest, RemovesSetsAKilledRunLeftAndRefusesAnOpenInstallFolder) {
    installTwoSets();
    fs::create_directories(m_temp.file("root/signatures.new-Ab12Cd/sub"));
    write(m_temp.file("root/signatures.new-Ab12Cd/half.hashes"), "half");
    write(m_temp.file("root/signatures.new-Ab12Cd/sub/x"), "x");
    EXPECT_TRUE(install(publish(3, {{"a.hashes", "3\n"}})).ok);
    EXPECT_FALSE(fs::exists(m_temp.file("root/signatures.new-Ab12Cd")));

    fs::permissions(m_paths.installRoot, fs::perms::others_write, fs::perm_options::add);
    const auto before = snapshot(m_paths.installRoot);
    expectRefused(install(publish(4, {{"a.hashes", "4\n"}})), before, "every user may change it");
    EXPECT_FALSE(RollBackUpdate(m_paths).ok);
    EXPECT_EQ(snapshot(m_paths.installRoot), before);
}

TEST_F(SignatureUpdateTest, KeysThatOthersMayChangeAreNotTrusted) {
    fs::permissions(m_temp.file("keys/publisher.pub"), fs::perms::group_write,
                    fs::perm_options::add);
    const UpdateOutcome outcome = install(publish(1, {{"a.hashes", "1\n"}}));
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.message,
              "No update: there is no trusted key in " + m_paths.trustedKeys + ".");
    ASSERT_EQ(outcome.warnings.size(), 1u);
    EXPECT_NE(outcome.warnings[0].find("publisher.pub is left out"), std::string::npos);
    EXPECT_FALSE(fs::exists(m_temp.file("root/signatures")));
}

TEST_F(SignatureUpdateTest, AFullDiskLeavesTheInstalledSets) {
    testsupport::PrivateTmpfs disk("256k");
    if (!disk.skipReason().empty()) {
        GTEST_SKIP() << disk.skipReason();
    }
    m_paths.installRoot = disk.file("root");
    installTwoSets();
    const auto before = snapshot(m_paths.installRoot);
    const UpdateOutcome outcome = install(publish(3, {{"big.hashes", std::string(1 << 20, 'b')}}));
    expectRefused(outcome, before, "No space left on device");
}

} // namespace
