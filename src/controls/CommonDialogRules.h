#pragma once

#include "controls/WinColor.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// The arithmetic of the common dialog wrapper, free of any toolkit: the flag words handed to the
/// dialogs, the filter text, the fixed-size name buffers, the outputs after a dialog ends and the
/// custom colours. Texts are UTF-8; lengths count bytes, as the file system does.
namespace CommonDialogRules {

// Open and save dialog flags.
inline constexpr std::uint32_t kReadOnly = 0x1;
inline constexpr std::uint32_t kOverwritePrompt = 0x2;
inline constexpr std::uint32_t kHideReadOnly = 0x4;
inline constexpr std::uint32_t kFileHook = 0x20;
inline constexpr std::uint32_t kFileTemplate = 0x40;
inline constexpr std::uint32_t kMultiSelect = 0x200;
inline constexpr std::uint32_t kFileMustExist = 0x1000;

// Colour dialog flags.
inline constexpr std::uint32_t kColorInit = 0x1; ///< start from the given colour
inline constexpr std::uint32_t kFullOpen = 0x2;
inline constexpr std::uint32_t kPreventFullOpen = 0x4;
inline constexpr std::uint32_t kSolidColor = 0x80;
inline constexpr std::uint32_t kAnyColor = 0x100;
inline constexpr std::uint32_t kColorHookAndTemplate = 0x30; ///< cleared: flags AND -49

// Font dialog flags.
inline constexpr std::uint32_t kScreenFonts = 0x1;
inline constexpr std::uint32_t kFontHookAndTemplate = 0x8 | 0x10 | 0x20;
inline constexpr std::uint32_t kInitFromFont = 0x40;
inline constexpr std::uint32_t kLimitSize = 0x2000;
inline constexpr std::uint32_t kFixedPitchOnly = 0x4000;
inline constexpr std::uint32_t kScalableOnly = 0x20000;

// Print dialog flags; the page range kind is the low two bits (0 all, 1 selection, 2 pages).
inline constexpr std::uint32_t kPrintSelection = 0x1;
inline constexpr std::uint32_t kPrintPageNumbers = 0x2;
inline constexpr std::uint32_t kNoSelection = 0x4;
inline constexpr std::uint32_t kNoPageNumbers = 0x8;
inline constexpr std::uint32_t kCollate = 0x10;
inline constexpr std::uint32_t kPrintToFile = 0x20;
inline constexpr std::uint32_t kNoWarning = 0x80;
inline constexpr std::uint32_t kReturnDc = 0x100;
inline constexpr std::uint32_t kDisablePrintToFile = 0x80000;
inline constexpr std::uint32_t kHidePrintToFile = 0x100000;
inline constexpr std::uint32_t kPrintHookAndTemplate = 0x3F000;

// Page-setup dialog flags and margin units.
inline constexpr std::uint32_t kMinMargins = 0x1;
inline constexpr std::uint32_t kMargins = 0x2;
inline constexpr std::uint32_t kInThousandthsOfInches = 0x4;
inline constexpr std::uint32_t kInHundredthsOfMillimeters = 0x8;
inline constexpr std::uint32_t kDisableMargins = 0x10;
inline constexpr std::uint32_t kDisablePrinter = 0x20;
inline constexpr std::uint32_t kDisableOrientation = 0x100;
inline constexpr std::uint32_t kDisablePaper = 0x200;
inline constexpr std::uint32_t kPageSetupHookAndTemplate = 0x2000 | 0x8000 | 0x20000 | 0x40000;

// Extended error values.
inline constexpr std::uint32_t kDialogFailure = 0xFFFF;
inline constexpr std::uint32_t kBufferTooSmall = 0x3003;

/// Length of the file name and file title buffers, the ending NUL included.
inline constexpr std::size_t kBufferLength = 260;

/// Flags of the open dialog: hook and template bits cleared, then the options added.
std::uint32_t OpenFlags(std::uint32_t flags, bool fileMustExist, bool multiSelect, bool readOnly,
                        bool hideReadOnly);
/// Flags of the save dialog: hook and template bits cleared, the overwrite prompt added.
std::uint32_t SaveFlags(std::uint32_t flags, bool overwritePrompt);
/// Flags of the colour dialog: any or solid colour, full-open options, start from the colour.
std::uint32_t ColorFlags(std::uint32_t flags, bool anyColor, bool fullOpen, bool disableFullOpen);
/// Flags of the font dialog: screen fonts, start from the given font, size limit when one is given.
std::uint32_t FontFlags(std::uint32_t flags, int minSize, int maxSize);
/// Flags of the print dialog; `printRange` 1 is the selection, 2 page numbers, else all pages.
std::uint32_t PrintFlags(std::uint32_t flags, int printRange, bool disablePageNumbers,
                         bool disableSelection, bool showPrintToFile, bool disablePrintToFile,
                         bool printToFile, bool collate, bool preventWarning);
/// The print flags after the dialog, with the range, file and collate choices written in.
std::uint32_t PrintResultFlags(std::uint32_t dialogFlags, int printRange, bool printToFile,
                               bool collate);
/// Flags of the page-setup dialog; `units` is kInThousandthsOfInches or else hundredths of mm.
std::uint32_t PageSetupFlags(std::uint32_t flags, bool disableMargins, bool disableOrientation,
                             bool disablePaper, bool disablePrinter, int units);

/// A point size kept within the limits when the flags ask for them (a maximum of 0 has no limit).
int ClampFontSize(int pointSize, int minSize, int maxSize, std::uint32_t flags);
/// A margin in the page-setup units converted to millimetres, and back (rounded).
double MarginMillimeters(int margin, int units);
int MarginFromMillimeters(double millimeters, int units);

/// The filter as the dialog reads it: every "|" and ":" becomes NUL, and two NULs end it.
std::string ConvertFilter(std::string_view filter);

struct FilterPair {
    std::string description;
    std::string pattern;
    bool operator==(const FilterPair&) const = default;
};

/// The (description, pattern) pairs of a converted filter. The list ends at the first empty
/// text, so a description without a pattern is dropped.
std::vector<FilterPair> SplitFilter(std::string_view converted);
/// Pair `index` (counted from 1) as description, NUL, pattern; empty for an index outside.
std::string FilterPairText(const std::vector<FilterPair>& pairs, int index);
/// A pair as a name filter of the file dialog, "description (patterns)": the patterns are
/// separated by blanks instead of ";", and "*.*", which matches every name with or without a dot,
/// becomes "*". No pattern at all shows every file.
std::string NameFilter(const FilterPair& pair);

/// The buffer that carries a name into the dialog: the name followed by NULs up to kBufferLength.
/// None when the name leaves no room for its ending NUL (kBufferLength bytes or more).
std::optional<std::string> NameBuffer(std::string_view name);
/// The text of a buffer up to its first NUL.
std::string CutAtNul(std::string_view buffer);
/// The last component of a path; empty for a path that ends with "/".
std::string FileTitle(std::string_view path);
/// The chosen files as one Filename: a single file is its path cut at the first NUL; several
/// files are their folder followed by each name, all separated by NULs, because a cut would drop
/// every chosen name.
std::string SelectionText(const std::vector<std::string>& paths);

/// What an open or save call writes back into its arguments.
struct FileOutputs {
    std::string filename;
    std::string fileTitle;
    std::uint32_t flags = 0;
    int filterIndex = -1;
    std::string filter;
    bool readOnly = false; ///< written only for a confirmed open dialog
};

/// Outputs of a confirmed dialog: the chosen files, their title when there is one file, the
/// dialog's flags with the read-only bit as the user left it, and the chosen filter pair.
FileOutputs ConfirmedFileOutputs(const std::vector<std::string>& chosen,
                                 const std::vector<FilterPair>& pairs, int filterIndex,
                                 std::uint32_t dialogFlags, bool readOnly);
/// Outputs of a cancelled or failed dialog: empty names and filter, flags 0, filter index -1.
FileOutputs ClearedFileOutputs();

/// The 16 custom colours of the colour dialog. They are filled on first use with the system
/// colour values 0..15 (WinColor::System(n)), which are resolved against the palette only when
/// the dialog shows them, as every stored colour of the program is.
class CustomColors {
public:
    static constexpr int kCount = 16;
    /// What an index outside 0..15 reads: -1 as a 32-bit value.
    static constexpr WinColor::Value kNoColor = 0xFFFFFFFFu;
    using Set = std::array<WinColor::Value, kCount>;

    WinColor::Value Get(int index);
    /// Writes nothing for an index outside 0..15.
    void Put(int index, WinColor::Value color);
    const Set& All();
    void Replace(const Set& colors);

private:
    void fill();

    Set m_colors{};
    bool m_filled = false;
};

} // namespace CommonDialogRules
