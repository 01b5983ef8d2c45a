#include "cli/CommandLine.h"

#include <gtest/gtest.h>

TEST(CommandLine, OptionsMayStandBeforeOrAfterTheCommand) {
    const CommandLine line =
        parseCommandLine({"--database", "/x/db", "inspect", "a", "--quiet", "b", "--json"});
    EXPECT_EQ(line.command, "inspect");
    EXPECT_EQ(line.operands, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(line.database, "/x/db");
    EXPECT_TRUE(line.quiet);
    EXPECT_TRUE(line.json);
}

TEST(CommandLine, ValueMayFollowAnEqualsSign) {
    EXPECT_EQ(parseCommandLine({"--database=/a=b"}).database, "/a=b");
    EXPECT_EQ(parseCommandLine({"--database="}).database, "");
}

TEST(CommandLine, DoubleDashEndsOptionsAndLoneDashIsAnOperand) {
    const CommandLine line = parseCommandLine({"inspect", "--", "--help", "-"});
    EXPECT_FALSE(line.help);
    EXPECT_EQ(line.operands, (std::vector<std::string>{"--help", "-"}));
    EXPECT_EQ(parseCommandLine({"inspect", "-"}).operands, std::vector<std::string>{"-"});
}

TEST(CommandLine, RejectsUnknownOptionsAndMissingValues) {
    EXPECT_THROW(parseCommandLine({"--frobnicate"}), UsageError);
    EXPECT_THROW(parseCommandLine({"--help=yes"}), UsageError);
    EXPECT_THROW(parseCommandLine({"inspect", "--database"}), UsageError);
    // An empty command never lets the next operand stand in for it.
    EXPECT_THROW(parseCommandLine({"", "inspect", "file"}), UsageError);
    EXPECT_EQ(parseCommandLine({"inspect", ""}).operands, std::vector<std::string>{""});
}
