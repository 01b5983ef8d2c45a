#include "engine/KestoEngine.h"

#include <array>
#include <unordered_map>
#include <utility>

namespace KestoEngine {

namespace {

using TypeKey = std::pair<std::string_view, std::string_view>;

// Compared in this order; the first equal key wins. Keys shorter than four characters can only
// equal a name that is the key alone, and "HTML" matches every name that ends in html.
constexpr TypeKey kTypeTable[] = {
    {".BAT", "MS DOS Batch File"},
    {".EXE", "Application"},
    {".JPG", "Image"},
    {".BMP", "Image"},
    {".GIF", "Image"},
    {".PNG", "Image"},
    {".XLS", "Ms Excel 2003 Document"},
    {".PDF", "Portable Document Format"},
    {".HLP", "Help File"},
    {".DOC", "Ms Word 2003 Document"},
    {".RTF", "Rich Text Format"},
    {".SWF", "Flash Movie"},
    {".FLA", "Flash Document"},
    {".TXT", "Text Document"},
    {".DLL", "Dynamic Link Library"},
    {".SCR", "Screen Saver"},
    {".ZIP", "Compressed"},
    {".RAR", "Compressed"},
    {".LOG", "Text Document/Log File"},
    {".VBP", "Visual Basic Project"},
    {".REG", "Registrations Entries"},
    {".KEY", "Registrations Entries"},
    {".MP3", "Music File"},
    {".MP4", "Video File"},
    {".DAT", "Video File"},
    {".3GP", "Video File (Mobile)"},
    {".ICO", "Icon File"},
    {".INK", "Shortcut"},
    {".IIT", "Install Creator File"},
    {".PPT", "Ms Power Point Document"},
    {".OCX", "ActiveX Control"},
    {".XML", "XML Document"},
    {".MSI", "Windows Installer"},
    {".CTL", "User Control File"},
    {".BAS", "Module File"},
    {".CLS", "Class Module File"},
    {".MDB", "Ms Access 2003 Document"},
    {".HTM", "HTML Document"},
    {".MID", "Ringtone File"},
    {".VBS", "Visual Basic Script"},
    {".RPM", "RedHat Linux"},
    {".STW", "Star Office Document"},
    {".TAR", "Unix Operating System"},
    {".TEX", "Text Document (Unix Operating System)"},
    {".TRO", "Text Proccesor (Unix Operating System)"},
    {".WAV", "Audio/Video File"},
    {".MPG", "Audio File"},
    {".AVI", "Video File (DVD)"},
    {".FLV", "File Flash Video"},
    {".ASM", "Assembly Programming File"},
    {".TTF", "Font Viewer"},
    {".CDR", "Corel Draw File"},
    {".CPP", "C++ File"},
    {".CMD", "Command File"},
    {".ISO", "Image File/Virtual ISO"},
    {".LRC", "Lyric File (Mini Lyric)"},
    {".NRG", "Image File/Virtual"},
    {".SRT", "Subtittle File"},
    {".XLR", "Ms Excel 2007 Document"},
    {".VOB", "Video DVD File"},
    {".WPS", "Ms Word 2007 Document"},
    {".INI", "Configuration File"},
    {".VBG", "Visual Basic Group"},
    {".CAB", "Windows Mobile Application"},
    {".RES", "Resource Hacker File"},
    {".CPL", "Win32 PE"},
    {".CUR", "Cursor Image File"},
    {".JAR", "Java File (Mobile Java Phone)"},
    {".JAD", "Java File (Mobile Java Phone)"},
    {".LNG", "Language File"},
    {".CPX", "Windows File"},
    {".SCF", "Windows File"},
    {".SQL", "MySql File"},
    {".VDB", "Virus Database"},
    {".SYS", "System File"},
    {".FRM", "Form Module (Visual Basic 6.0)"},
    {"HTML", "HTML Document"},
    {".7Z", "Compressed"},
    {".GZ", "Compressed (G-Zip)"},
    {".PS", "Post Script"},
    {".Z", "Zip File (Compressed)"},
    {".H", "C++ File"},
    {".DB", "Database File"},
};

} // namespace

std::string_view FileTypeDescription(std::string_view name) {
    // The scan asks for every file, so the table is indexed once; the first of equal keys wins.
    static const std::unordered_map<std::string_view, std::string_view> index = [] {
        std::unordered_map<std::string_view, std::string_view> byKey;
        for (const auto& [typeKey, description] : kTypeTable) {
            byKey.emplace(typeKey, description);
        }
        return byKey;
    }();
    const std::string_view last = name.substr(name.size() > 4 ? name.size() - 4 : 0);
    std::array<char, 4> key{};
    for (std::size_t i = 0; i < last.size(); ++i) {
        const char c = last[i];
        key[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    const auto found = index.find(std::string_view(key.data(), last.size()));
    return found != index.end() ? found->second : "Unknown";
}

std::string FileTypeName(std::string_view name) {
    return std::string(FileTypeDescription(name));
}

} // namespace KestoEngine
