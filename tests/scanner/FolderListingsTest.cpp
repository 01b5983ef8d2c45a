#include "scanner/FolderListings.h"

#include "scanner/FolderWalk.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

using platform::FileId;
using platform::FolderEntry;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

constexpr std::int64_t kStarted = 1'700'000'000'000'000'000;
constexpr std::int64_t kSettled = kStarted - FolderListings::kSettledNanoseconds;

std::vector<FolderEntry> entries(std::initializer_list<const char*> names) {
    std::vector<FolderEntry> listed;
    for (const char* name : names) {
        listed.push_back(FolderEntry{name, FolderEntry::Kind::RegularFile, 0, 1});
    }
    return listed;
}

std::vector<std::string> names(const std::vector<FolderEntry>& listed) {
    std::vector<std::string> result;
    for (const FolderEntry& entry : listed) {
        result.push_back(entry.name);
    }
    return result;
}

} // namespace

TEST(FolderListings, ASettledListingComesBackOnceForTheSameUnchangedFolder) {
    FolderListings listings(kStarted);
    listings.keep(FileId{1, 10}, kSettled, entries({"a", "b"}));
    listings.keep(FileId{1, 11}, kSettled - 5, entries({"c"}));
    listings.keep(FileId{1, 12}, kSettled, entries({"d"}));

    std::vector<FolderEntry> taken;
    EXPECT_FALSE(listings.take(FileId{2, 10}, kSettled, taken)) << "another device";
    EXPECT_TRUE(listings.take(FileId{1, 10}, kSettled, taken));
    EXPECT_EQ(names(taken), (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(listings.take(FileId{1, 10}, kSettled, taken)) << "handed back twice";

    // A folder that changed since, or whose time is unknown now, is listed again, and its old
    // listing is dropped.
    EXPECT_FALSE(listings.take(FileId{1, 11}, kSettled, taken));
    EXPECT_FALSE(listings.take(FileId{1, 11}, kSettled - 5, taken));
    EXPECT_FALSE(listings.take(FileId{1, 12}, std::nullopt, taken));
    EXPECT_EQ(listings.reused(), 1u);
}

TEST(FolderListings, AFolderChangedShortlyBeforeTheWalkIsNeverKept) {
    // A change within the same tick of the file system's clock as the one before it would leave
    // its time as it is: only folders whose time lies well before the walk are kept.
    FolderListings listings(kStarted);
    listings.keep(FileId{1, 1}, kSettled + 1, entries({"a"}));
    listings.keep(FileId{1, 2}, kStarted + 1'000'000'000, entries({"b"}));
    std::vector<FolderEntry> taken;
    EXPECT_FALSE(listings.take(FileId{1, 1}, kSettled + 1, taken));
    EXPECT_FALSE(listings.take(FileId{1, 2}, kStarted + 1'000'000'000, taken));
}

TEST(FolderListings, KeepsNoMoreThanItsBudgetAndFreesWhatItHandsBack) {
    const std::size_t one = 4 * sizeof(FolderEntry);
    FolderListings listings(kStarted, one + one / 2);
    auto four = [] { return entries({"a", "b", "c", "d"}); };
    const auto fits = [&] {
        auto listed = four();
        listed.shrink_to_fit();
        return listed;
    };
    listings.keep(FileId{1, 1}, kSettled, fits());
    listings.keep(FileId{1, 2}, kSettled, fits()); // over the budget
    std::vector<FolderEntry> taken;
    EXPECT_FALSE(listings.take(FileId{1, 2}, kSettled, taken));
    EXPECT_TRUE(listings.take(FileId{1, 1}, kSettled, taken));
    listings.keep(FileId{1, 3}, kSettled, fits()); // room again
    EXPECT_TRUE(listings.take(FileId{1, 3}, kSettled, taken));
}

TEST(FolderListings, TheSecondWalkOfATreeListsOnlyWhatChanged) {
    TempDir dir;
    for (const char* path : {"a", "one/b", "one/deep/c", "two/d", "other/e"}) {
        writeFile(dir.file(path), "data");
    }
    // Folders made just now count as settled for a walk said to start an hour later.
    FolderListings listings(FolderListings::Now() + 3'600'000'000'000);
    const auto walk = [&](FolderWalk::ListingsRole role, const std::function<void()>& midway) {
        FolderWalk walker(dir.path(), false, [] { return false; }, {});
        walker.shareListings(listings, role);
        std::vector<std::string> files;
        WalkedFile file;
        while (walker.next(file)) {
            files.push_back(file.folder.substr(dir.path().size()) + file.name);
            if (files.size() == 1 && midway) {
                midway();
            }
        }
        return files;
    };
    const std::vector<std::string> first = walk(FolderWalk::ListingsRole::Keep, {});
    {
        platform::FolderHandle root;
        ASSERT_FALSE(root.openPath(dir.path()));
        if (!root.changeTimeIsTrusted()) {
            GTEST_SKIP() << "the temporary folder's file system keeps no trusted change times";
        }
    }
    // "two" is replaced by another folder before the second walk reaches it: a folder of another
    // identity is listed afresh.
    const std::vector<std::string> second = walk(FolderWalk::ListingsRole::Reuse, [&] {
        std::filesystem::rename(dir.file("two"), dir.file("gone"));
        std::filesystem::rename(dir.file("other"), dir.file("two"));
    });
    EXPECT_EQ(first,
              (std::vector<std::string>{"/a", "/one/b", "/one/deep/c", "/other/e", "/two/d"}));
    EXPECT_EQ(second, (std::vector<std::string>{"/a", "/one/b", "/one/deep/c", "/two/e"}));
    // The root (whose change the renames made after it was entered), "one" and "one/deep".
    EXPECT_EQ(listings.reused(), 3u);
}
