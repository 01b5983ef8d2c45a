// `kesto update` end to end: signature sets made by scripts/make-signature-bundle and signed with
// keys from the real minisign program, installed from a folder and from a web server on
// 127.0.0.1, and every way an update can go wrong, after which the installed sets must be exactly
// what they were.

#include "cli/Commands.h"
#include "testsupport/CommandRun.h"
#include "testsupport/HttpFileServer.h"
#include "testsupport/PrivateTmpfs.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "testsupport/Unprivileged.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

/// Runs a shell command quietly; the paths in it come from the tests' own temporary folders,
/// which hold no quotes.
int shell(const std::string& command) {
    return std::system((command + " </dev/null >/dev/null 2>&1").c_str());
}

/// Every entry below `root` with its kind and content: what must not change when an update fails.
std::map<std::string, std::string> snapshot(const std::string& root) {
    std::map<std::string, std::string> entries;
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = fs::relative(it->path(), root).string();
        if (it->is_symlink()) {
            entries[name] = "link " + fs::read_symlink(it->path()).string();
        } else if (it->is_directory()) {
            entries[name] = "folder";
        } else {
            entries[name] = "file " + readFile(it->path().string());
        }
    }
    return entries;
}

class UpdateCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (shell("command -v minisign") != 0) {
            GTEST_SKIP() << "minisign is not installed";
        }
        ASSERT_EQ(shell("minisign -G -W -p '" + work.file("key.pub") + "' -s '" +
                        work.file("key.sec") + "'"),
                  0);
        ASSERT_EQ(shell("minisign -G -W -p '" + work.file("other.pub") + "' -s '" +
                        work.file("other.sec") + "'"),
                  0);
        writeFile(keys + "/publisher.pub", readFile(work.file("key.pub")));
    }

    /// A set in the folder `name` holding `files`, signed by `key` as version `version`.
    std::string bundle(const std::string& name, const std::map<std::string, std::string>& files,
                       int version, const std::string& key = "key.sec") {
        const std::string folder = work.file(name);
        for (const auto& [file, content] : files) {
            writeFile(folder + "/" + file, content);
        }
        EXPECT_EQ(shell(std::string(KESTO_SOURCE_DIR) + "/scripts/make-signature-bundle '" +
                        folder + "' '" + work.file(key) + "' --version " + std::to_string(version) +
                        " --date 2026-12-01"),
                  0);
        return folder;
    }

    /// `kesto update` against the test's install root and keys, with `arguments` after it.
    testsupport::CommandRun update(std::vector<std::string> arguments,
                                   const std::string& installRoot = {}) {
        arguments.insert(arguments.begin(),
                         {"update", "--install-root", installRoot.empty() ? root : installRoot,
                          "--trusted-keys", keys});
        return testsupport::runCommand(runKesto, arguments);
    }

    /// Runs an update from `source` that must fail with `reason` and leave the install root as it
    /// was.
    void expectRefused(const std::string& source, const std::string& reason) {
        const auto before = snapshot(root);
        const auto run = update({source});
        EXPECT_EQ(run.code, kExitError) << source << "\n" << run.out << run.err;
        EXPECT_NE(run.err.find(reason), std::string::npos) << source << ": " << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(snapshot(root), before) << source;
    }

    testsupport::TempDir work;
    const std::string root = work.file("root");
    const std::string keys = work.file("keys");
    const std::map<std::string, std::string> first = {
        {"first.hashes", "275a021bbfb6489e54d471899f7db9d1663fc695ec2fe2a2c4538aabf651fd0f\n"},
        {"rules.yar", "rule First { condition: false }\n"}};
    const std::map<std::string, std::string> second = {
        {"second.hdb", "44d88612fea8a8f36de82e1278abb02f:68:Second\n"}};
};

TEST_F(UpdateCommandTest, InstallsNewerSetsKeepsThePreviousAndRollsBackOnce) {
    const std::string v2 = bundle("v2", first, 2);
    auto run = update({v2});
    ASSERT_EQ(run.code, kExitClean) << run.err;
    EXPECT_EQ(run.out, "Installed signature set version 2 of 2026-12-01, 2 files.\n");
    EXPECT_EQ(readFile(root + "/signatures/first.hashes"), first.at("first.hashes"));
    EXPECT_EQ(readFile(root + "/signatures/manifest.json"), readFile(v2 + "/manifest.json"));
    EXPECT_EQ(readFile(root + "/signatures/manifest.json.minisig"),
              readFile(v2 + "/manifest.json.minisig"));

    // The same version again fetches nothing and changes nothing.
    const auto installed = snapshot(root);
    run = update({v2});
    EXPECT_EQ(run.code, kExitClean) << run.err;
    EXPECT_EQ(run.out, "Signatures are up to date (version 2).\n");
    EXPECT_EQ(snapshot(root), installed);

    // An older set, properly signed, is a replay.
    expectRefused(bundle("v1", second, 1), "older than the installed version 2");

    const std::string v3 = bundle("v3", second, 3);
    run = update({v3});
    ASSERT_EQ(run.code, kExitClean) << run.err;
    EXPECT_EQ(readFile(root + "/signatures/second.hdb"), second.at("second.hdb"));
    EXPECT_FALSE(fs::exists(root + "/signatures/first.hashes"));
    EXPECT_EQ(readFile(root + "/signatures.previous/first.hashes"), first.at("first.hashes"));

    run = update({"--rollback"});
    ASSERT_EQ(run.code, kExitClean) << run.err;
    EXPECT_NE(run.out.find("version 2"), std::string::npos) << run.out;
    EXPECT_EQ(readFile(root + "/signatures/first.hashes"), first.at("first.hashes"));
    // The set rolled back from is gone, so a second rollback has nothing to go back to.
    const auto rolledBack = snapshot(root);
    run = update({"--rollback"});
    EXPECT_EQ(run.code, kExitError);
    EXPECT_NE(run.err.find("no earlier signature set"), std::string::npos) << run.err;
    EXPECT_EQ(snapshot(root), rolledBack);
}

TEST_F(UpdateCommandTest, RefusesForgedTamperedAndEscapingSetsFromAFolder) {
    ASSERT_EQ(update({bundle("installed", first, 5)}).code, kExitClean);
    const auto installed = snapshot(root);

    // Signed by a key that is not trusted.
    expectRefused(bundle("stranger", second, 6, "other.sec"), "is not trusted");

    // The manifest changed after it was signed: a larger version, same signature.
    const std::string forged = bundle("forged", second, 6);
    std::string manifest = readFile(forged + "/manifest.json");
    manifest.replace(manifest.find("\"version\": 6"), 12, "\"version\": 7");
    writeFile(forged + "/manifest.json", manifest);
    expectRefused(forged, "the signature does not match the signed text");

    // A file changed after signing, same size, and one that grew.
    const std::string tampered = bundle("tampered", second, 6);
    std::string content = second.at("second.hdb");
    content[0] = content[0] == 'f' ? 'e' : 'f';
    writeFile(tampered + "/second.hdb", content);
    expectRefused(tampered, "does not have the SHA-256 the manifest gives");
    writeFile(tampered + "/second.hdb", second.at("second.hdb") + "extra\n");
    expectRefused(tampered, "larger than");

    // A signed manifest naming a file outside the set, as a compromised build server could.
    const std::string escaping = work.file("escaping");
    writeFile(escaping + "/manifest.json",
              R"({"format": 1, "version": 6, "date": "2026-12-01", "files": [)"
              R"({"name": "../escaped.hashes", "size": 1, "sha256": ")" +
                  std::string(64, '0') + "\"}]}");
    writeFile(work.file("escaped.hashes"), "x");
    ASSERT_EQ(
        shell("minisign -S -s '" + work.file("key.sec") + "' -m '" + escaping + "/manifest.json'"),
        0);
    expectRefused(escaping, "(\"../escaped.hashes\") is refused: a path, not a plain name");

    // A source without a signature.
    const std::string unsigned_ = bundle("unsigned", second, 6);
    fs::remove(unsigned_ + "/manifest.json.minisig");
    expectRefused(unsigned_, "manifest.json.minisig");

    EXPECT_EQ(snapshot(root), installed);
    for (const auto& [name, kind] : snapshot(root)) {
        EXPECT_EQ(name.find("signatures.new-"), std::string::npos) << name << " was left";
    }
}

TEST_F(UpdateCommandTest, InstallsOverHttpAndRefusesTransfersThatFail) {
    const std::string v1 = bundle("web", first, 1);
    testsupport::HttpFileServer server(v1);
    ASSERT_NE(server.port(), 0);
    auto run = update({server.url()});
    ASSERT_EQ(run.code, kExitClean) << run.err;
    EXPECT_EQ(readFile(root + "/signatures/rules.yar"), first.at("rules.yar"));
    // The address may name the folder without its final '/'.
    run = update({server.url().substr(0, server.url().size() - 1)});
    EXPECT_EQ(run.code, kExitClean) << run.err;
    EXPECT_NE(run.out.find("up to date"), std::string::npos) << run.out;
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 6u);
    // Up to date: only the manifest and its signature were asked for.
    EXPECT_EQ(std::vector<std::string>(requests.begin() + 4, requests.end()),
              (std::vector<std::string>{"manifest.json", "manifest.json.minisig"}));

    // Version 2 on a server that stops in the middle of a file, then answers 404 for it.
    const std::string v2 = bundle("web2", second, 2);
    testsupport::HttpFileServer broken(v2);
    broken.stopAfter("second.hdb", 10);
    expectRefused(broken.url(), "second.hdb");
    testsupport::HttpFileServer missing(v2);
    missing.answerNotFound("second.hdb");
    expectRefused(missing.url(), "HTTP status 404");
    testsupport::HttpFileServer noManifest(v2);
    noManifest.answerNotFound("manifest.json");
    expectRefused(noManifest.url(), "HTTP status 404");

    // A forged file served whole over HTTP is refused like one in a folder.
    writeFile(v2 + "/second.hdb", std::string(second.at("second.hdb").size(), 'x'));
    testsupport::HttpFileServer forged(v2);
    expectRefused(forged.url(), "does not have the SHA-256 the manifest gives");

    // Neither a scheme it does not speak nor a folder that is not there.
    run = update({"ftp://127.0.0.1/x/"});
    EXPECT_EQ(run.code, kExitError);
    EXPECT_NE(run.err.find("neither a folder nor an http:// or https:// address"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(update({work.file("nowhere")}).code, kExitError);
}

TEST_F(UpdateCommandTest, FullDiskLeavesTheInstalledSetsAsTheyWere) {
    testsupport::PrivateTmpfs tmpfs("1m");
    if (!tmpfs.skipReason().empty()) {
        GTEST_SKIP() << tmpfs.skipReason();
    }
    const std::string onTmpfs = tmpfs.file("kesto");
    ASSERT_EQ(update({bundle("small", first, 1)}, onTmpfs).code, kExitClean);
    ASSERT_EQ(update({bundle("small2", second, 2)}, onTmpfs).code, kExitClean);
    const auto before = snapshot(onTmpfs);
    // Larger than the whole file system: the write fails part-way.
    const std::string big = bundle("big", {{"big.hashes", testsupport::noise(2 << 20)}}, 3);
    const auto run = update({big}, onTmpfs);
    EXPECT_EQ(run.code, kExitError);
    EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
    EXPECT_EQ(snapshot(onTmpfs), before);
}

TEST_F(UpdateCommandTest, TakesItsSourceFromTheSourceFileAndNeedsOne) {
    const std::string v1 = bundle("configured", first, 1);
    const std::string sourceFile = work.file("update-source");
    const auto runWith = [&](const std::vector<std::string>& extra) {
        std::vector<std::string> arguments = {"update", "--install-root", root, "--trusted-keys",
                                              keys};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const CommandLine line = parseCommandLine(arguments);
        return testsupport::runCommand(runUpdateWith, line, sourceFile);
    };

    auto run = runWith({});
    EXPECT_EQ(run.code, kExitError);
    EXPECT_EQ(run.err, "kesto: no update source: name one, or write it in " + sourceFile + "\n");
    writeFile(sourceFile, "# where updates come from\n\n#https://example.org/\n");
    EXPECT_EQ(runWith({}).err, run.err);

    writeFile(sourceFile, "# where updates come from\n\n   " + v1 + "  \n/elsewhere\n");
    run = runWith({});
    EXPECT_EQ(run.code, kExitClean) << run.err;
    EXPECT_EQ(readFile(root + "/signatures/first.hashes"), first.at("first.hashes"));

    // A source file that others may change is not followed.
    fs::permissions(sourceFile, fs::perms::others_write, fs::perm_options::add);
    run = runWith({});
    EXPECT_EQ(run.code, kExitError);
    EXPECT_NE(run.err.find("is not used"), std::string::npos) << run.err;

    // Without root the system's set is never touched.
    EXPECT_EQ(testsupport::runUnprivileged([&] {
                  const auto denied =
                      testsupport::runCommand(runKesto, std::vector<std::string>{"update", v1});
                  return denied.code == kExitError &&
                                 denied.err.rfind("kesto update needs root", 0) == 0
                             ? 0
                             : 1;
              }),
              0);

    EXPECT_EQ(runWith({"a", "b"}).code, kExitError);
    EXPECT_EQ(runWith({"--rollback", v1}).code, kExitError);
}

} // namespace
