#include "engine/KestoEngine.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "testsupport/UnreadableFile.h"

#include <gtest/gtest.h>
#include <system_error>

namespace {

using namespace std::string_literals;

TEST(FileTypeName, LastFourCharactersInUpperCaseAreTheKey) {
    const struct {
        std::string_view name;
        std::string_view type;
    } cases[] = {
        {"/home/someone/Downloads/setup.exe", "Application"},
        {"SETUP.EXE", "Application"},
        {"report.Doc", "Ms Word 2003 Document"},
        {"letter.docx", "Unknown"},
        {"page.html", "HTML Document"},
        {"page.shtml", "HTML Document"},
        {"page.htm", "HTML Document"},
        {"x.mdb", "Ms Access 2003 Document"},
        {"saver.scr", "Screen Saver"},
        {"clip.3gp", "Video File (Mobile)"},
        {"setup.exe.bak", "Unknown"},
        {"setup.exe ", "Unknown"},
        {"\xD0\xB0\xD0\xB1.exe", "Application"},
        // Keys shorter than four characters only equal a name that is the key alone.
        {".db", "Database File"},
        {".DB", "Database File"},
        {"notes.db", "Unknown"},
        {".h", "C++ File"},
        {"a.h", "Unknown"},
        {".7z", "Compressed"},
        {"archive.7z", "Unknown"},
        {"exe", "Unknown"},
        {"", "Unknown"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KestoEngine::FileTypeName(c.name), c.type) << c.name;
    }
}

TEST(FileIdentification, FirstListedMarkerWinsWhereverItLies) {
    const std::string noise = testsupport::noise(5000, 9);
    const std::string mew = "\0\0\0MEW"s;
    const std::string upx = "UPX!\x0c\x09"s;
    const std::string aspack = "\xC0.aspack\0"s;
    const std::string vb6 = "\0\0\0MSVBVM60.DLL\0\0\0"s;
    const std::string delphi = "W\0e\0d\0\x03\0T\0h\0u\0\x03\0F\0r\0i\0\x03\0S\0a\0t"s;
    const std::string msvc = "\0\0\0\0Microsoft Visual C++ Runtime"s;
    const struct {
        const char* what;
        std::string content;
        std::string_view packer;
        std::string_view compiler;
    } cases[] = {
        {"plain", noise, "Unknown", "Unknown"},
        {"empty", "", "Unknown", "Unknown"},
        {"UPX", noise + upx + noise, "UPX", "Unknown"},
        {"UPX then MEW", upx + noise + mew, "MEW", "Unknown"},
        {"PECompact then Aspack", "\x89\x08PECompact"s + noise + aspack, "Aspack", "Unknown"},
        {"MEW without its zeros", noise + "MEW", "Unknown", "Unknown"},
        {"bare runtime name", noise + "MSVBVM60.DLL" + noise, "Unknown", "Unknown"},
        {"two zeros before the runtime name", noise + "\0\0MSVBVM60.DLL\0\0\0"s + noise, "Unknown",
         "Unknown"},
        {"Visual Basic runtime", noise + vb6 + noise, "Unknown", "MS Visual Basic 6.0"},
        {"C++ then Delphi then Visual Basic", msvc + delphi + vb6, "Unknown",
         "MS Visual Basic 6.0"},
        {"C++ then Delphi", msvc + noise + delphi, "Unknown", "Borland Delphi 7"},
        {"C++", noise + msvc, "Unknown", "MS Visual C++"},
    };
    const testsupport::TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.file("program.exe");
        testsupport::writeFile(path, c.content);
        EXPECT_EQ(KestoEngine::DetectPacker(path), c.packer) << c.what;
        EXPECT_EQ(KestoEngine::DetectCompiler(path), c.compiler) << c.what;
    }
}

TEST(FileIdentification, UnreadableFileThrows) {
    const testsupport::TempDir dir;
    const testsupport::UnreadableFile unreadable(dir.file("pipe"));
    for (const std::string& path : {dir.file("missing"), dir.path(), dir.file("pipe")}) {
        EXPECT_THROW(KestoEngine::DetectPacker(path), std::system_error) << path;
        EXPECT_THROW(KestoEngine::DetectCompiler(path), std::system_error) << path;
    }
}

} // namespace
