#include "controls/CommonDialogRules.h"

#include <cmath>

namespace CommonDialogRules {

namespace {

constexpr std::uint32_t when(bool condition, std::uint32_t flag) {
    return condition ? flag : 0;
}

constexpr std::uint32_t kPrintRangeBits = kPrintSelection | kPrintPageNumbers;

std::uint32_t rangeFlags(int printRange) {
    if (printRange == 1) {
        return kPrintSelection;
    }
    if (printRange == 2) {
        return kPrintPageNumbers;
    }
    return 0;
}

bool isPatternSeparator(char c) {
    return c == ';' || c == ' ' || c == '\t';
}

} // namespace

std::uint32_t OpenFlags(std::uint32_t flags, bool fileMustExist, bool multiSelect, bool readOnly,
                        bool hideReadOnly) {
    return (flags & ~(kFileHook | kFileTemplate)) | when(fileMustExist, kFileMustExist) |
           when(multiSelect, kMultiSelect) | when(readOnly, kReadOnly) |
           when(hideReadOnly, kHideReadOnly);
}

std::uint32_t SaveFlags(std::uint32_t flags, bool overwritePrompt) {
    return (flags & ~(kFileHook | kFileTemplate)) | when(overwritePrompt, kOverwritePrompt);
}

std::uint32_t ColorFlags(std::uint32_t flags, bool anyColor, bool fullOpen, bool disableFullOpen) {
    return (anyColor ? kAnyColor : kSolidColor) | when(fullOpen, kFullOpen) |
           when(disableFullOpen, kPreventFullOpen) | kColorInit | (flags & ~kColorHookAndTemplate);
}

std::uint32_t FontFlags(std::uint32_t flags, int minSize, int maxSize) {
    return (flags & ~kFontHookAndTemplate) | kScreenFonts | kInitFromFont |
           when(minSize > 0 || maxSize > 0, kLimitSize);
}

std::uint32_t PrintFlags(std::uint32_t flags, int printRange, bool disablePageNumbers,
                         bool disableSelection, bool showPrintToFile, bool disablePrintToFile,
                         bool printToFile, bool collate, bool preventWarning) {
    return (flags & ~(kPrintHookAndTemplate | kPrintRangeBits)) | rangeFlags(printRange) |
           when(disablePageNumbers, kNoPageNumbers) | when(disableSelection, kNoSelection) |
           when(!showPrintToFile, kHidePrintToFile) |
           when(disablePrintToFile, kDisablePrintToFile) | when(printToFile, kPrintToFile) |
           when(collate, kCollate) | when(preventWarning, kNoWarning) | kReturnDc;
}

std::uint32_t PrintResultFlags(std::uint32_t dialogFlags, int printRange, bool printToFile,
                               bool collate) {
    return (dialogFlags & ~(kPrintRangeBits | kPrintToFile | kCollate)) | rangeFlags(printRange) |
           when(printToFile, kPrintToFile) | when(collate, kCollate);
}

std::uint32_t PageSetupFlags(std::uint32_t flags, bool disableMargins, bool disableOrientation,
                             bool disablePaper, bool disablePrinter, int units) {
    const std::uint32_t unitFlag = units == static_cast<int>(kInThousandthsOfInches)
                                       ? kInThousandthsOfInches
                                       : kInHundredthsOfMillimeters;
    return (flags &
            ~(kPageSetupHookAndTemplate | kInThousandthsOfInches | kInHundredthsOfMillimeters)) |
           kMargins | kMinMargins | unitFlag | when(disableMargins, kDisableMargins) |
           when(disableOrientation, kDisableOrientation) | when(disablePaper, kDisablePaper) |
           when(disablePrinter, kDisablePrinter);
}

int ClampFontSize(int pointSize, int minSize, int maxSize, std::uint32_t flags) {
    if ((flags & kLimitSize) == 0) {
        return pointSize;
    }
    if (maxSize > 0 && pointSize > maxSize) {
        pointSize = maxSize;
    }
    if (pointSize < minSize) {
        pointSize = minSize;
    }
    return pointSize;
}

double MarginMillimeters(int margin, int units) {
    if (units == static_cast<int>(kInThousandthsOfInches)) {
        return margin * 25.4 / 1000.0;
    }
    return margin / 100.0;
}

int MarginFromMillimeters(double millimeters, int units) {
    if (units == static_cast<int>(kInThousandthsOfInches)) {
        return static_cast<int>(std::lround(millimeters * 1000.0 / 25.4));
    }
    return static_cast<int>(std::lround(millimeters * 100.0));
}

std::string ConvertFilter(std::string_view filter) {
    std::string converted(filter);
    for (char& c : converted) {
        if (c == '|' || c == ':') {
            c = '\0';
        }
    }
    converted.append(2, '\0');
    return converted;
}

std::vector<FilterPair> SplitFilter(std::string_view converted) {
    std::vector<FilterPair> pairs;
    std::size_t position = 0;
    // The next NUL-ended text; empty at the end of the buffer, which also ends the list.
    const auto next = [&]() {
        if (position >= converted.size()) {
            return std::string();
        }
        std::size_t end = converted.find('\0', position);
        if (end == std::string_view::npos) {
            end = converted.size();
        }
        std::string text(converted.substr(position, end - position));
        position = end + 1;
        return text;
    };
    for (;;) {
        std::string description = next();
        if (description.empty()) {
            break;
        }
        std::string pattern = next();
        if (pattern.empty()) {
            break;
        }
        pairs.push_back({std::move(description), std::move(pattern)});
    }
    return pairs;
}

std::string FilterPairText(const std::vector<FilterPair>& pairs, int index) {
    if (index < 1 || static_cast<std::size_t>(index) > pairs.size()) {
        return {};
    }
    const FilterPair& pair = pairs[static_cast<std::size_t>(index) - 1];
    std::string text = pair.description;
    text += '\0';
    text += pair.pattern;
    return text;
}

std::string NameFilter(const FilterPair& pair) {
    std::string patterns;
    std::size_t position = 0;
    while (position < pair.pattern.size()) {
        while (position < pair.pattern.size() && isPatternSeparator(pair.pattern[position])) {
            ++position;
        }
        const std::size_t start = position;
        while (position < pair.pattern.size() && !isPatternSeparator(pair.pattern[position])) {
            ++position;
        }
        if (position == start) {
            break;
        }
        std::string pattern = pair.pattern.substr(start, position - start);
        if (pattern == "*.*") {
            pattern = "*";
        }
        if (!patterns.empty()) {
            patterns += ' ';
        }
        patterns += pattern;
    }
    if (patterns.empty()) {
        patterns = "*";
    }
    return pair.description + " (" + patterns + ")";
}

std::optional<std::string> NameBuffer(std::string_view name) {
    if (name.size() >= kBufferLength) {
        return std::nullopt;
    }
    std::string buffer(name);
    buffer.append(kBufferLength - name.size(), '\0');
    return buffer;
}

std::string CutAtNul(std::string_view buffer) {
    return std::string(buffer.substr(0, buffer.find('\0')));
}

std::string FileTitle(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string SelectionText(const std::vector<std::string>& paths) {
    if (paths.empty()) {
        return {};
    }
    if (paths.size() == 1) {
        return CutAtNul(paths.front());
    }
    const std::string& first = paths.front();
    const std::size_t slash = first.rfind('/');
    std::string folder;
    if (slash != std::string::npos) {
        folder = slash == 0 ? std::string("/") : first.substr(0, slash);
    }
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + '/';
    std::string text = folder;
    for (const std::string& path : paths) {
        text += '\0';
        text += path.starts_with(prefix) ? path.substr(prefix.size()) : path;
    }
    return text;
}

FileOutputs ConfirmedFileOutputs(const std::vector<std::string>& chosen,
                                 const std::vector<FilterPair>& pairs, int filterIndex,
                                 std::uint32_t dialogFlags, bool readOnly) {
    FileOutputs outputs;
    outputs.filename = SelectionText(chosen);
    if (chosen.size() == 1) {
        outputs.fileTitle = FileTitle(outputs.filename);
    }
    outputs.flags = readOnly ? (dialogFlags | kReadOnly) : (dialogFlags & ~kReadOnly);
    outputs.readOnly = readOnly;
    outputs.filterIndex = filterIndex;
    outputs.filter = FilterPairText(pairs, filterIndex);
    return outputs;
}

FileOutputs ClearedFileOutputs() {
    return FileOutputs{};
}

WinColor::Value CustomColors::Get(int index) {
    fill();
    if (index < 0 || index >= kCount) {
        return kNoColor;
    }
    return m_colors[static_cast<std::size_t>(index)];
}

void CustomColors::Put(int index, WinColor::Value color) {
    fill();
    if (index < 0 || index >= kCount) {
        return;
    }
    m_colors[static_cast<std::size_t>(index)] = color;
}

const CustomColors::Set& CustomColors::All() {
    fill();
    return m_colors;
}

void CustomColors::Replace(const Set& colors) {
    m_colors = colors;
    m_filled = true;
}

void CustomColors::fill() {
    if (m_filled) {
        return;
    }
    for (int n = 0; n < kCount; ++n) {
        m_colors[static_cast<std::size_t>(n)] = WinColor::System(n);
    }
    m_filled = true;
}

} // namespace CommonDialogRules
