#include "controls/CommonDialogRules.h"

#include <gtest/gtest.h>
#include <string>

using namespace CommonDialogRules;
using namespace std::string_literals;

TEST(CommonDialogFlags, OpenClearsHookAndTemplateAndAddsEachOption) {
    EXPECT_EQ(OpenFlags(0, true, false, false, false), 0x1000u);
    EXPECT_EQ(OpenFlags(0x20 | 0x40 | 0x80 | 0x8, false, false, false, false), 0x88u);
    EXPECT_EQ(OpenFlags(0, false, true, false, false), 0x200u);
    EXPECT_EQ(OpenFlags(0, false, false, true, false), 0x1u);
    EXPECT_EQ(OpenFlags(0, false, false, false, true), 0x4u);
    EXPECT_EQ(OpenFlags(0x60, true, true, true, true), 0x1205u);
}

TEST(CommonDialogFlags, SaveAddsOnlyTheOverwritePrompt) {
    EXPECT_EQ(SaveFlags(0, true), 0x2u);
    EXPECT_EQ(SaveFlags(0x1000 | 0x60, false), 0x1000u);
}

TEST(CommonDialogFlags, ColorChoosesAnyOrSolidAndKeepsFlagsAndMinus49) {
    EXPECT_EQ(ColorFlags(0, true, false, false), 0x101u);
    EXPECT_EQ(ColorFlags(0, false, false, false), 0x81u);
    EXPECT_EQ(ColorFlags(0, true, true, true), 0x107u);
    // -49 clears 0x10 and 0x20 and keeps every other caller bit.
    EXPECT_EQ(ColorFlags(0x10 | 0x20 | 0x40 | 0x8, false, false, false), 0x81u | 0x48u);
}

TEST(CommonDialogFlags, FontPrintAndPageSetup) {
    EXPECT_EQ(FontFlags(0x8 | 0x10 | 0x20 | 0x4000, 0, 0), 0x4041u);
    EXPECT_EQ(FontFlags(0, 8, 0), 0x2041u);
    EXPECT_EQ(ClampFontSize(72, 8, 24, kLimitSize), 24);
    EXPECT_EQ(ClampFontSize(4, 8, 0, kLimitSize), 8);
    EXPECT_EQ(ClampFontSize(72, 8, 24, 0), 72);

    const std::uint32_t print =
        PrintFlags(0x1000 | 0x3, 2, true, true, false, true, false, true, true);
    EXPECT_EQ(print, 0x2u | 0x8 | 0x4 | 0x100000 | 0x80000 | 0x10 | 0x80 | 0x100);
    EXPECT_EQ(PrintFlags(0, 0, false, false, true, false, true, false, false), 0x120u);
    EXPECT_EQ(PrintResultFlags(print, 1, true, false), (print & ~0x33u) | 0x1 | 0x20);

    EXPECT_EQ(PageSetupFlags(0x2000 | 0x8, true, true, true, true,
                             static_cast<int>(kInThousandthsOfInches)),
              0x3u | 0x4 | 0x10 | 0x100 | 0x200 | 0x20);
    EXPECT_EQ(PageSetupFlags(0, false, false, false, false, 0), 0xBu);
}

TEST(CommonDialogFlags, MarginUnits) {
    EXPECT_DOUBLE_EQ(MarginMillimeters(1000, static_cast<int>(kInThousandthsOfInches)), 25.4);
    EXPECT_DOUBLE_EQ(MarginMillimeters(2540, static_cast<int>(kInHundredthsOfMillimeters)), 25.4);
    EXPECT_EQ(MarginFromMillimeters(25.4, static_cast<int>(kInThousandthsOfInches)), 1000);
    EXPECT_EQ(MarginFromMillimeters(12.346, 0), 1235);
}

TEST(CommonDialogFilter, ConvertReplacesBarsAndColonsAndAddsTwoNuls) {
    EXPECT_EQ(ConvertFilter("All (*.*)| *.*"), "All (*.*)\0 *.*\0\0"s);
    EXPECT_EQ(ConvertFilter("Text|*.txt|Programs|*.exe"), "Text\0*.txt\0Programs\0*.exe\0\0"s);
    EXPECT_EQ(ConvertFilter("C: drive|*.*"), "C\0 drive\0*.*\0\0"s);
    EXPECT_EQ(ConvertFilter(""), "\0\0"s);
}

TEST(CommonDialogFilter, SplitIntoPairsUntilTheFirstEmptyText) {
    const auto inspector = SplitFilter(ConvertFilter("All (*.*)| *.*"));
    ASSERT_EQ(inspector.size(), 1u);
    EXPECT_EQ(inspector[0], (FilterPair{"All (*.*)", " *.*"}));

    const auto four = SplitFilter(ConvertFilter("Text|*.txt|Programs|*.exe;*.scr"));
    ASSERT_EQ(four.size(), 2u);
    EXPECT_EQ(four[1], (FilterPair{"Programs", "*.exe;*.scr"}));

    EXPECT_TRUE(SplitFilter(ConvertFilter("")).empty());
    // A description without a pattern, and everything after an empty text, is not listed.
    EXPECT_EQ(SplitFilter(ConvertFilter("Text|*.txt|Lone")).size(), 1u);
    EXPECT_EQ(SplitFilter(ConvertFilter("Text|*.txt||Doc|*.doc")).size(), 1u);
    // The buffer's own end also ends the list when the two NULs are missing.
    EXPECT_EQ(SplitFilter("A\0*.a"s), (std::vector<FilterPair>{{"A", "*.a"}}));
}

TEST(CommonDialogFilter, PairTextCountsFromOne) {
    const auto pairs = SplitFilter(ConvertFilter("Text|*.txt|Programs|*.exe"));
    EXPECT_EQ(FilterPairText(pairs, 1), "Text\0*.txt"s);
    EXPECT_EQ(FilterPairText(pairs, 2), "Programs\0*.exe"s);
    EXPECT_EQ(FilterPairText(pairs, 0), "");
    EXPECT_EQ(FilterPairText(pairs, 3), "");
    EXPECT_EQ(FilterPairText(pairs, -1), "");
}

TEST(CommonDialogFilter, NameFilterForTheFileDialog) {
    EXPECT_EQ(NameFilter({"All (*.*)", " *.*"}), "All (*.*) (*)");
    EXPECT_EQ(NameFilter({"Programs", "*.exe;*.scr"}), "Programs (*.exe *.scr)");
    EXPECT_EQ(NameFilter({"Odd", " ; *.a ;; *.b "}), "Odd (*.a *.b)");
    EXPECT_EQ(NameFilter({"Blank", "  "}), "Blank (*)");
}

TEST(CommonDialogBuffers, NamesUpTo259BytesFillTheBuffer) {
    const auto empty = NameBuffer("");
    ASSERT_TRUE(empty);
    EXPECT_EQ(*empty, std::string(260, '\0'));

    const std::string longest(259, 'a');
    const auto full = NameBuffer(longest);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->size(), 260u);
    EXPECT_EQ(CutAtNul(*full), longest);

    EXPECT_FALSE(NameBuffer(std::string(260, 'a')));
    EXPECT_FALSE(NameBuffer(std::string(400, 'a')));
    // Bytes count: 130 two-byte characters no longer fit.
    std::string wide;
    for (int i = 0; i < 130; ++i) {
        wide += "\xC3\xA9";
    }
    EXPECT_FALSE(NameBuffer(wide));
}

TEST(CommonDialogBuffers, CutAtNulAndFileTitle) {
    EXPECT_EQ(CutAtNul("name\0rest"s), "name");
    EXPECT_EQ(CutAtNul("no nul"), "no nul");
    EXPECT_EQ(FileTitle("/home/user/sample.exe"), "sample.exe");
    EXPECT_EQ(FileTitle("sample.exe"), "sample.exe");
    EXPECT_EQ(FileTitle("/home/user/"), "");
    EXPECT_EQ(FileTitle(""), "");
}

TEST(CommonDialogOutputs, ConfirmedSingleFile) {
    const auto pairs = SplitFilter(ConvertFilter("All (*.*)| *.*"));
    const FileOutputs out = ConfirmedFileOutputs({"/tmp/a/b.exe"}, pairs, 1, 0x1000, false);
    EXPECT_EQ(out.filename, "/tmp/a/b.exe");
    EXPECT_EQ(out.fileTitle, "b.exe");
    EXPECT_EQ(out.flags, 0x1000u);
    EXPECT_EQ(out.filterIndex, 1);
    EXPECT_EQ(out.filter, "All (*.*)\0 *.*"s);
    EXPECT_FALSE(out.readOnly);

    // The read-only bit follows the answer both ways.
    EXPECT_EQ(ConfirmedFileOutputs({"/x"}, pairs, 1, 0x1000, true).flags, 0x1001u);
    EXPECT_EQ(ConfirmedFileOutputs({"/x"}, pairs, 1, 0x1001, false).flags, 0x1000u);
    // A name carrying a NUL is cut there; an index without a pair leaves the filter empty.
    const FileOutputs cut = ConfirmedFileOutputs({"/d/f\0junk"s}, pairs, 4, 0, false);
    EXPECT_EQ(cut.filename, "/d/f");
    EXPECT_EQ(cut.fileTitle, "f");
    EXPECT_EQ(cut.filter, "");
}

TEST(CommonDialogOutputs, SeveralFilesAreTheFolderAndTheNames) {
    const FileOutputs out =
        ConfirmedFileOutputs({"/tmp/d/one", "/tmp/d/two"}, {}, 1, kMultiSelect, false);
    EXPECT_EQ(out.filename, "/tmp/d\0one\0two"s);
    EXPECT_EQ(out.fileTitle, "");
    EXPECT_EQ(SelectionText({"/one", "/two"}), "/\0one\0two"s);
    EXPECT_EQ(SelectionText({}), "");
}

TEST(CommonDialogOutputs, CancelledClearsEverything) {
    const FileOutputs out = ClearedFileOutputs();
    EXPECT_EQ(out.filename, "");
    EXPECT_EQ(out.fileTitle, "");
    EXPECT_EQ(out.flags, 0u);
    EXPECT_EQ(out.filterIndex, -1);
    EXPECT_EQ(out.filter, "");
}

TEST(CommonDialogCustomColors, FilledWithSystemColoursOnFirstUse) {
    CustomColors colors;
    for (int n = 0; n < 16; ++n) {
        EXPECT_EQ(colors.Get(n), WinColor::System(n));
    }
    EXPECT_EQ(colors.Get(-1), CustomColors::kNoColor);
    EXPECT_EQ(colors.Get(16), 0xFFFFFFFFu);

    CustomColors written;
    written.Put(3, WinColor::Rgb(1, 2, 3));
    written.Put(16, WinColor::Rgb(9, 9, 9));
    written.Put(-1, WinColor::Rgb(9, 9, 9));
    const CustomColors::Set& all = written.All();
    EXPECT_EQ(all[3], WinColor::Rgb(1, 2, 3));
    EXPECT_EQ(all[2], WinColor::System(2));
    EXPECT_EQ(all[15], WinColor::System(15));
}
