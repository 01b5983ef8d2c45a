#include "signatures/ExtraSignatures.h"

#include "platform/FileHashes.h"
#include "signatures/YaraRules.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using testsupport::TempDir;
using testsupport::writeFile;

std::string hexOf(platform::HashKind kind, std::string_view content) {
    platform::MultiHasher hasher(platform::kindBit(kind));
    hasher.update(content);
    return platform::digestHex(kind, hasher.finish().of(kind));
}

/// The threat an extra source names for `content`, or "" when none does; "failed: why" when
/// the sources could not judge it.
std::string threatOf(const ExtraSignatures& set, std::string_view content,
                     std::string_view name = "sample.bin") {
    const ExtraVerdict verdict =
        set.check(content, name, std::string("/data/") + std::string(name));
    if (!verdict.failure.empty()) {
        return "failed: " + verdict.failure;
    }
    const auto threat = set.describe(verdict.source, verdict.item);
    return threat ? threat->name + (threat->information.empty() ? "" : " | " + threat->information)
                  : "";
}

std::shared_ptr<const ExtraSignatures> load(std::vector<std::string> folders,
                                            std::vector<std::string> paths = {}) {
    SignatureOptions options;
    options.folders = std::move(folders);
    options.paths = std::move(paths);
    return ExtraSignatures::Load(options);
}

TEST(ExtraSignaturesTest, EachHashKindWithAndWithoutSizeNamesItsFile) {
    TempDir dir;
    const std::string md5File = "first sample", sha1File = "second sample",
                      sha256File = "third sample", bareFile = "fourth sample";
    writeFile(dir.file("field.hashes"),
              "# shared by a reader\n" + hexOf(platform::HashKind::Md5, md5File) + ":" +
                  std::to_string(md5File.size()) + ":Md5.Sized\n" +
                  hexOf(platform::HashKind::Sha1, sha1File) + ":*:Sha1.Unsized\r\n" +
                  hexOf(platform::HashKind::Sha256, sha256File) + ":" +
                  std::to_string(sha256File.size()) + ":Sha256.Sized\n" + "not a hash line\n");
    writeFile(dir.file("campaign.hsb"), hexOf(platform::HashKind::Sha256, bareFile) + "\n");
    writeFile(dir.file("notes.txt"), hexOf(platform::HashKind::Sha256, "ignored") + "\n");

    const auto set = load({dir.path(), dir.file("missing-folder")});
    ASSERT_EQ(set->sources().size(), 2u); // a missing default folder is passed over
    EXPECT_EQ(set->sources()[0].path, dir.file("campaign.hsb"));
    EXPECT_EQ(set->sources()[0].count, 1u);
    EXPECT_EQ(set->sources()[1].count, 3u);
    ASSERT_EQ(set->sources()[1].problems.size(), 1u);
    EXPECT_NE(set->sources()[1].problems[0].find("line 5"), std::string::npos);

    EXPECT_EQ(threatOf(*set, md5File), "Md5.Sized");
    EXPECT_EQ(threatOf(*set, sha1File), "Sha1.Unsized");
    EXPECT_EQ(threatOf(*set, sha256File), "Sha256.Sized");
    EXPECT_EQ(threatOf(*set, bareFile), "campaign"); // a bare hash is named after its list
    EXPECT_EQ(threatOf(*set, "ignored"), "");
    EXPECT_EQ(threatOf(*set, "first samplE"), "");

    // Only a length a sized entry has, or one the unsized entries reach, asks for the content.
    EXPECT_TRUE(set->wantsContent(md5File.size()));
    EXPECT_TRUE(set->wantsContent(12345)); // the unsized SHA-1 entry
    EXPECT_FALSE(set->wantsContent(0));
    EXPECT_FALSE(set->wantsContent(set->options().maxHashSize + 1));

    std::vector<std::string> names;
    set->forEachName(1, [&](std::string_view name) {
        names.emplace_back(name);
        return true;
    });
    EXPECT_EQ(names, (std::vector<std::string>{"Md5.Sized", "Sha1.Unsized", "Sha256.Sized"}));
}

TEST(ExtraSignaturesTest, SizedEntriesAloneAskOnlyForTheirLengths) {
    TempDir dir;
    writeFile(dir.file("sized.hdb"), hexOf(platform::HashKind::Sha256, "abc") + ":3:Tiny\n");
    const auto set = load({}, {dir.file("sized.hdb")});
    EXPECT_TRUE(set->wantsContent(3));
    EXPECT_FALSE(set->wantsContent(4));
    EXPECT_EQ(set->readLimit(), set->options().maxHashSize);
    EXPECT_FALSE(set->check("abcd", "x", "/x").checked);
    EXPECT_EQ(threatOf(*set, "abc"), "Tiny");
}

TEST(ExtraSignaturesTest, TheSourceThatRanksFirstNamesAFileTwoSourcesList) {
    TempDir system, user;
    const std::string content = "listed twice";
    writeFile(system.file("a.hashes"), hexOf(platform::HashKind::Sha256, content) + ":*:System\n");
    writeFile(user.file("b.hashes"), hexOf(platform::HashKind::Md5, content) + ":*:User\n");
    writeFile(user.file("c.hashes"), hexOf(platform::HashKind::Sha256, content) + ":*:Later\n");
    EXPECT_EQ(threatOf(*load({system.path(), user.path()}), content), "System");
    EXPECT_EQ(threatOf(*load({user.path(), system.path()}), content), "User");
}

TEST(ExtraSignaturesTest, YaraRulesRankWithTheOtherSourcesAndDescribeTheirThreat) {
    if (!YaraRules::Available()) {
        GTEST_SKIP() << "this build has no libyara";
    }
    TempDir dir;
    writeFile(dir.file("a.yar"), "rule Dropper_Text { meta: threat = \"Dropper.Generic\" "
                                 "description = \"Drops a second stage\" strings: $a = "
                                 "\"second stage\" condition: $a }\n"
                                 "rule By_Extension { condition: extension == \"scr\" }\n");
    writeFile(dir.file("b.hashes"),
              hexOf(platform::HashKind::Sha256, "a second stage") + ":*:Hash.Name\n");
    writeFile(dir.file("c.yara"), "rule broken { condition: nothing_here }\n");
    const auto set = load({dir.path()});
    ASSERT_EQ(set->sources().size(), 3u);
    EXPECT_EQ(set->sources()[0].count, 2u);
    EXPECT_TRUE(set->sources()[2].refused);
    ASSERT_FALSE(set->sources()[2].problems.empty());
    EXPECT_NE(set->sources()[2].problems[0].find(":1:"), std::string::npos)
        << set->sources()[2].problems[0];
    EXPECT_TRUE(set->hasProblems());

    EXPECT_EQ(threatOf(*set, "a second stage"), "Dropper.Generic | Drops a second stage");
    EXPECT_EQ(threatOf(*set, "harmless", "saver.scr"), "By_Extension");
    EXPECT_EQ(threatOf(*set, "harmless", "saver.txt"), "");
    EXPECT_TRUE(set->wantsContent(1)); // rules look at every file up to their limit
    EXPECT_EQ(set->readLimit(), set->options().maxHashSize); // the unsized hash reaches further
}

TEST(ExtraSignaturesTest, FingerprintFollowsContentRankAndLimits) {
    TempDir dir;
    writeFile(dir.file("a.hashes"), hexOf(platform::HashKind::Sha256, "one") + "\n");
    const std::string first = load({dir.path()})->fingerprint();
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(load({dir.path()})->fingerprint(), first);
    SignatureOptions smaller;
    smaller.folders = {dir.path()};
    smaller.maxHashSize = 1024;
    EXPECT_NE(ExtraSignatures::Load(smaller)->fingerprint(), first);
    writeFile(dir.file("a.hashes"), hexOf(platform::HashKind::Sha256, "two") + "\n");
    EXPECT_NE(load({dir.path()})->fingerprint(), first);
    EXPECT_TRUE(load({})->fingerprint().empty());
    EXPECT_TRUE(load({})->empty());
}

TEST(ExtraSignaturesTest, SourcesOthersCouldChangeAreRefused) {
    TempDir dir;
    const std::string line = hexOf(platform::HashKind::Sha256, "x") + "\n";
    writeFile(dir.file("open.hashes"), line);
    ASSERT_EQ(::chmod(dir.file("open.hashes").c_str(), 0666), 0);
    writeFile(dir.file("group.hashes"), line);
    ASSERT_EQ(::chmod(dir.file("group.hashes").c_str(), 0664), 0);
    ASSERT_EQ(::symlink(dir.file("open.hashes").c_str(), dir.file("link.hashes").c_str()), 0);
    if (::geteuid() == 0) {
        writeFile(dir.file("other.hashes"), line);
        ASSERT_EQ(::chown(dir.file("other.hashes").c_str(), 65534, 65534), 0);
    }
    const auto set = load({dir.path()});
    EXPECT_TRUE(set->empty());
    for (const SignatureSourceInfo& source : set->sources()) {
        EXPECT_TRUE(source.refused) << source.path;
    }
    EXPECT_EQ(set->sources().size(), ::geteuid() == 0 ? 4u : 3u);

    // A folder others may change is refused whole.
    TempDir open;
    writeFile(open.file("fine.hashes"), line);
    ASSERT_EQ(::chmod(open.path().c_str(), 0777), 0);
    const auto refused = load({open.path()});
    ASSERT_EQ(refused->sources().size(), 1u);
    EXPECT_EQ(refused->sources()[0].kind, SignatureSourceInfo::Kind::Folder);
    EXPECT_TRUE(refused->empty());
}

TEST(ExtraSignaturesTest, NamedPathsMustExistAndBeSignatureFiles) {
    TempDir dir;
    writeFile(dir.file("list.txt"), "");
    const auto set = load({}, {dir.file("missing.hashes"), dir.file("list.txt")});
    ASSERT_EQ(set->sources().size(), 2u);
    EXPECT_TRUE(set->sources()[0].refused);
    EXPECT_TRUE(set->sources()[1].refused);
    EXPECT_NE(set->sources()[1].problems[0].find("neither"), std::string::npos);
}

} // namespace
