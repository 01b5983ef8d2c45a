#include "tools/FileScan.h"

#include "engine/SignatureDatabase.h"
#include "engine/clsCRC.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

using testsupport::TempDir;
using testsupport::writeFile;

TEST(FileScan, ReportsChecksumTypeAndWhetherTheEngineListsTheFile) {
    TempDir dir;
    const std::string listed = "listed content for the scan";
    const std::string checksum = ChecksumText(clsCRC().CalculateBytes(listed));
    writeFile(dir.file("db.dll"),
              testsupport::databaseText({checksum + ":Db.Threat", "Selesai:Selesai"}));
    SignatureDatabase database(dir.file("db.dll"));
    writeFile(dir.file("files/bad.txt"), listed);
    writeFile(dir.file("files/good.txt"), "something else");
    std::filesystem::create_symlink(dir.file("files/bad.txt"), dir.file("files/link.txt"));
    const std::string quarantine = dir.file("Karantina");

    const FileScan::Report bad =
        FileScan::ScanFile(dir.file("files/bad.txt"), database, quarantine);
    EXPECT_EQ(bad.threat, "Db.Threat");
    EXPECT_EQ(bad.checksum, checksum);
    EXPECT_EQ(FileScan::ResultText(bad), "Listed: Db.Threat");

    const FileScan::Report good =
        FileScan::ScanFile(dir.file("files/good.txt"), database, quarantine);
    EXPECT_TRUE(good.threat.empty());
    EXPECT_EQ(FileScan::ResultText(good), "Not listed");
    EXPECT_EQ(FileScan::ReportText("/x/good.txt", good).rfind("File: /x/good.txt\nChecksum: ", 0),
              0U);

    // A link in the last name is not followed by the engine's check, nor is a missing file
    // reported as clean.
    const FileScan::Report link =
        FileScan::ScanFile(dir.file("files/link.txt"), database, quarantine);
    EXPECT_TRUE(link.threat.empty());
    EXPECT_FALSE(link.problem.empty());
    const FileScan::Report gone =
        FileScan::ScanFile(dir.file("files/gone.txt"), database, quarantine);
    EXPECT_EQ(FileScan::ResultText(gone).rfind("Not checked: ", 0), 0U);

    // A quarantined file is not reported again, nor called clean.
    writeFile(dir.file("Karantina/held.txt_vir"), listed);
    EXPECT_EQ(FileScan::ResultText(
                  FileScan::ScanFile(dir.file("Karantina/held.txt_vir"), database, quarantine)),
              "Not checked: it is in the quarantine folder");
}
