#include "controls/cCommonDialog.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPageSize>
#include <QPalette>
#include <QPrintDialog>
#include <QPrinter>
#include <QWidget>
#include <algorithm>

namespace Rules = CommonDialogRules;

namespace {

cCommonDialog::FileHandler& openHandler() {
    static cCommonDialog::FileHandler installed;
    return installed;
}

cCommonDialog::FileHandler& saveHandler() {
    static cCommonDialog::FileHandler installed;
    return installed;
}

cCommonDialog::ColorHandler& colorHandler() {
    static cCommonDialog::ColorHandler installed;
    return installed;
}

WinColor::Value toValue(const QColor& color) {
    return WinColor::Rgb(color.red(), color.green(), color.blue());
}

QPalette paletteOf(const QWidget* owner) {
    return owner != nullptr ? owner->palette() : QApplication::palette();
}

cCommonDialog::FileAnswer runFileDialog(const cCommonDialog::FileRequest& request) {
    QFileDialog dialog(request.owner);
    cCommonDialog::ConfigureFileDialog(dialog, request);
    cCommonDialog::FileAnswer answer;
    if (dialog.exec() != QDialog::Accepted) {
        answer.result = cCommonDialog::Result::Cancelled;
        return answer;
    }
    answer.result = cCommonDialog::Result::Confirmed;
    answer.files = dialog.selectedFiles();
    const int chosen = cCommonDialog::ChosenFilterIndex(dialog);
    answer.filterIndex = chosen > 0 ? chosen : request.filterIndex;
    answer.readOnly = (request.flags & Rules::kReadOnly) != 0;
    return answer;
}

cCommonDialog::ColorAnswer runColorDialog(const cCommonDialog::ColorRequest& request) {
    const QPalette palette = paletteOf(request.owner);
    std::array<QRgb, Rules::CustomColors::kCount> shown{};
    for (int i = 0; i < Rules::CustomColors::kCount; ++i) {
        const QColor color =
            WinColor::ToQColor(request.customColors[static_cast<std::size_t>(i)], palette);
        shown[static_cast<std::size_t>(i)] = color.rgb();
        QColorDialog::setCustomColor(i, color);
    }
    const QColor initial = (request.flags & Rules::kColorInit) != 0
                               ? WinColor::ToQColor(request.color, palette)
                               : QColor(Qt::black);
    QColorDialog dialog(initial, request.owner);
    cCommonDialog::ColorAnswer answer;
    if (dialog.exec() == QDialog::Accepted) {
        answer.result = cCommonDialog::Result::Confirmed;
        answer.color = toValue(dialog.selectedColor());
    }
    // Unchanged custom colours keep their stored value, which may name a system colour.
    cCommonDialog::ColorSet custom = request.customColors;
    bool changed = false;
    for (int i = 0; i < Rules::CustomColors::kCount; ++i) {
        const QColor now = QColorDialog::customColor(i);
        if (now.rgb() != shown[static_cast<std::size_t>(i)]) {
            custom[static_cast<std::size_t>(i)] = toValue(now);
            changed = true;
        }
    }
    if (changed) {
        answer.customColors = custom;
    }
    return answer;
}

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

cCommonDialog::cCommonDialog() = default;
cCommonDialog::~cCommonDialog() = default;

void cCommonDialog::SetOpenHandler(FileHandler handler) {
    openHandler() = std::move(handler);
}
void cCommonDialog::SetSaveHandler(FileHandler handler) {
    saveHandler() = std::move(handler);
}
void cCommonDialog::SetColorHandler(ColorHandler handler) {
    colorHandler() = std::move(handler);
}

void cCommonDialog::begin() {
    m_apiReturn = 0;
    m_extendedError = 0;
}

void cCommonDialog::ConfigureFileDialog(QFileDialog& dialog, const FileRequest& request) {
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (request.save) {
        dialog.setFileMode(QFileDialog::AnyFile);
    } else if ((request.flags & Rules::kMultiSelect) != 0) {
        dialog.setFileMode(QFileDialog::ExistingFiles);
    } else if ((request.flags & Rules::kFileMustExist) != 0) {
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    dialog.setOption(QFileDialog::DontConfirmOverwrite,
                     (request.flags & Rules::kOverwritePrompt) == 0);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    if (!request.title.isEmpty()) {
        dialog.setWindowTitle(request.title);
    }
    if (!request.nameFilters.isEmpty()) {
        dialog.setNameFilters(request.nameFilters);
        // An index outside the list starts with the first filter.
        const bool inRange =
            request.filterIndex >= 1 && request.filterIndex <= request.nameFilters.size();
        dialog.selectNameFilter(dialog.nameFilters().at(inRange ? request.filterIndex - 1 : 0));
    }
    if (!request.initDir.isEmpty()) {
        dialog.setDirectory(request.initDir);
    }
    dialog.setDefaultSuffix(request.defaultExt);
    if (!request.fileName.isEmpty()) {
        dialog.selectFile(request.fileName);
    }
}

int cCommonDialog::ChosenFilterIndex(const QFileDialog& dialog) {
    const QString selected = dialog.selectedNameFilter();
    // The dialog keeps its filters simplified, and with the details hidden it names the chosen
    // one by the text before its patterns.
    const QStringList filters = dialog.nameFilters();
    for (qsizetype i = 0; i < filters.size(); ++i) {
        const QString& filter = filters.at(i);
        if (filter == selected || filter.left(filter.lastIndexOf(u'(')).trimmed() == selected) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

bool cCommonDialog::VBGetOpenFileName(QString& Filename, QString& FileTitle, bool FileMustExist,
                                      bool MultiSelect, bool& ReadOnly, bool HideReadOnly,
                                      QString& Filter, int& FilterIndex, const QString& InitDir,
                                      const QString& DlgTitle, const QString& DefaultExt,
                                      QWidget* Owner, std::uint32_t& flags) {
    const std::uint32_t dialogFlags =
        Rules::OpenFlags(flags, FileMustExist, MultiSelect, ReadOnly, HideReadOnly);
    return fileDialog(openHandler(), false, dialogFlags, Filename, FileTitle, &ReadOnly, Filter,
                      FilterIndex, InitDir, DlgTitle, DefaultExt, Owner, flags);
}

bool cCommonDialog::VBGetSaveFileName(QString& Filename, QString& FileTitle, bool OverWritePrompt,
                                      QString& Filter, int& FilterIndex, const QString& InitDir,
                                      const QString& DlgTitle, const QString& DefaultExt,
                                      QWidget* Owner, std::uint32_t& flags) {
    const std::uint32_t dialogFlags = Rules::SaveFlags(flags, OverWritePrompt);
    return fileDialog(saveHandler(), true, dialogFlags, Filename, FileTitle, nullptr, Filter,
                      FilterIndex, InitDir, DlgTitle, DefaultExt, Owner, flags);
}

bool cCommonDialog::fileDialog(const FileHandler& handler, bool save, std::uint32_t dialogFlags,
                               QString& Filename, QString& FileTitle, bool* ReadOnly,
                               QString& Filter, int& FilterIndex, const QString& InitDir,
                               const QString& DlgTitle, const QString& DefaultExt, QWidget* Owner,
                               std::uint32_t& flags) {
    begin();
    const auto nameBuffer = Rules::NameBuffer(Filename.toStdString());
    const auto titleBuffer = Rules::NameBuffer(FileTitle.toStdString());

    FileAnswer answer;
    std::vector<Rules::FilterPair> pairs;
    if (!nameBuffer || !titleBuffer) {
        answer.result = Result::Failed;
        answer.extendedError = Rules::kBufferTooSmall;
    } else {
        pairs = Rules::SplitFilter(Rules::ConvertFilter(Filter.toStdString()));
        FileRequest request;
        request.save = save;
        request.flags = dialogFlags;
        for (const Rules::FilterPair& pair : pairs) {
            request.filters.push_back({fromStd(pair.description), fromStd(pair.pattern)});
            request.nameFilters.push_back(fromStd(Rules::NameFilter(pair)));
        }
        request.filterIndex = FilterIndex;
        request.initDir = InitDir;
        request.title = DlgTitle;
        request.defaultExt = DefaultExt;
        request.fileName = fromStd(Rules::CutAtNul(*nameBuffer));
        request.owner = Owner;
        answer = handler ? handler(request) : runFileDialog(request);
    }

    Rules::FileOutputs outputs;
    if (answer.result == Result::Confirmed) {
        std::vector<std::string> chosen;
        chosen.reserve(static_cast<std::size_t>(answer.files.size()));
        for (const QString& file : answer.files) {
            chosen.push_back(file.toStdString());
        }
        outputs = Rules::ConfirmedFileOutputs(chosen, pairs, answer.filterIndex, dialogFlags,
                                              answer.readOnly);
        m_apiReturn = 1;
        if (ReadOnly != nullptr) {
            *ReadOnly = outputs.readOnly;
        }
    } else {
        if (answer.result == Result::Failed) {
            m_extendedError =
                answer.extendedError != 0 ? answer.extendedError : Rules::kDialogFailure;
        }
        outputs = Rules::ClearedFileOutputs();
    }
    Filename = fromStd(outputs.filename);
    FileTitle = fromStd(outputs.fileTitle);
    flags = outputs.flags;
    FilterIndex = outputs.filterIndex;
    Filter = fromStd(outputs.filter);
    return m_apiReturn == 1;
}

QString cCommonDialog::VBGetFileTitle(const QString& sFile) {
    return fromStd(Rules::FileTitle(sFile.toStdString()));
}

bool cCommonDialog::VBChooseColor(WinColor::Value& Color, bool AnyColor, bool FullOpen,
                                  bool DisableFullOpen, QWidget* Owner, std::uint32_t& flags) {
    begin();
    ColorRequest request;
    request.color = Color;
    request.flags = Rules::ColorFlags(flags, AnyColor, FullOpen, DisableFullOpen);
    request.customColors = m_customColors.All();
    request.owner = Owner;
    const ColorAnswer answer = colorHandler() ? colorHandler()(request) : runColorDialog(request);
    if (answer.customColors) {
        m_customColors.Replace(*answer.customColors);
    }
    switch (answer.result) {
    case Result::Confirmed:
        m_apiReturn = 1;
        Color = answer.color;
        flags = request.flags;
        return true;
    case Result::Failed:
        m_extendedError = answer.extendedError != 0 ? answer.extendedError : Rules::kDialogFailure;
        return false;
    case Result::Cancelled:
        break;
    }
    return false;
}

WinColor::Value cCommonDialog::CustomColor(int index) {
    return m_customColors.Get(index);
}

void cCommonDialog::SetCustomColor(int index, WinColor::Value color) {
    m_customColors.Put(index, color);
}

bool cCommonDialog::VBChooseFont(QFont& CurFont, std::intptr_t /*PrinterDC*/, QWidget* Owner,
                                 WinColor::Value /*Color*/, int MinSize, int MaxSize,
                                 std::uint32_t& flags) {
    begin();
    const std::uint32_t dialogFlags = Rules::FontFlags(flags, MinSize, MaxSize);
    QFontDialog dialog(CurFont, Owner);
    dialog.setOption(QFontDialog::MonospacedFonts, (dialogFlags & Rules::kFixedPitchOnly) != 0);
    dialog.setOption(QFontDialog::ScalableFonts, (dialogFlags & Rules::kScalableOnly) != 0);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    QFont chosen = dialog.selectedFont();
    if (chosen.pointSize() > 0) {
        chosen.setPointSize(
            Rules::ClampFontSize(chosen.pointSize(), MinSize, MaxSize, dialogFlags));
    }
    CurFont = chosen;
    flags = dialogFlags;
    m_apiReturn = 1;
    return true;
}

QPrinter& cCommonDialog::printerSetup() {
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>();
    }
    return *m_printer;
}

bool cCommonDialog::VBPrintDlg(std::intptr_t& hDC, int& PrintRange, bool DisablePageNumbers,
                               int& FromPage, int& ToPage, bool DisableSelection, int& Copies,
                               bool ShowPrintToFile, bool DisablePrintToFile, bool& PrintToFile,
                               bool& Collate, bool PreventWarning, QWidget* Owner, QString& Printer,
                               std::uint32_t& flags) {
    begin();
    const std::uint32_t dialogFlags =
        Rules::PrintFlags(flags, PrintRange, DisablePageNumbers, DisableSelection, ShowPrintToFile,
                          DisablePrintToFile, PrintToFile, Collate, PreventWarning);
    QPrinter& printer = printerSetup();
    if (!Printer.isEmpty()) {
        printer.setPrinterName(Printer);
    }
    if (Copies > 0) {
        printer.setCopyCount(Copies);
    }
    printer.setCollateCopies((dialogFlags & Rules::kCollate) != 0);
    if (FromPage >= 1 && ToPage >= FromPage) {
        printer.setFromTo(FromPage, ToPage);
    }
    if ((dialogFlags & Rules::kPrintSelection) != 0) {
        printer.setPrintRange(QPrinter::Selection);
    } else if ((dialogFlags & Rules::kPrintPageNumbers) != 0) {
        printer.setPrintRange(QPrinter::PageRange);
    } else {
        printer.setPrintRange(QPrinter::AllPages);
    }

    QPrintDialog dialog(&printer, Owner);
    QAbstractPrintDialog::PrintDialogOptions options = dialog.options();
    options.setFlag(QAbstractPrintDialog::PrintPageRange,
                    (dialogFlags & Rules::kNoPageNumbers) == 0);
    options.setFlag(QAbstractPrintDialog::PrintSelection, (dialogFlags & Rules::kNoSelection) == 0);
    options.setFlag(QAbstractPrintDialog::PrintToFile,
                    (dialogFlags & (Rules::kHidePrintToFile | Rules::kDisablePrintToFile)) == 0);
    options.setFlag(QAbstractPrintDialog::PrintCollateCopies, true);
    dialog.setOptions(options);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }

    hDC = 0;
    switch (printer.printRange()) {
    case QPrinter::Selection:
        PrintRange = 1;
        break;
    case QPrinter::PageRange:
        PrintRange = 2;
        break;
    case QPrinter::AllPages:
    case QPrinter::CurrentPage:
        PrintRange = 0;
        break;
    }
    FromPage = printer.fromPage();
    ToPage = printer.toPage();
    Copies = printer.copyCount();
    Collate = printer.collateCopies();
    PrintToFile = !printer.outputFileName().isEmpty();
    Printer = printer.printerName();
    flags = Rules::PrintResultFlags(dialogFlags, PrintRange, PrintToFile, Collate);
    m_apiReturn = 1;
    return true;
}

bool cCommonDialog::VBPageSetupDlg(QWidget* Owner, bool DisableMargins, bool DisableOrientation,
                                   bool DisablePaper, bool DisablePrinter, int& LeftMargin,
                                   int MinLeftMargin, int& RightMargin, int MinRightMargin,
                                   int& TopMargin, int MinTopMargin, int& BottomMargin,
                                   int MinBottomMargin, int& PaperSize, int& Orientation,
                                   int& PrintQuality, int Units, QString& Printer,
                                   std::uint32_t& flags) {
    begin();
    const std::uint32_t dialogFlags = Rules::PageSetupFlags(
        flags, DisableMargins, DisableOrientation, DisablePaper, DisablePrinter, Units);
    QPrinter& printer = printerSetup();
    if (!Printer.isEmpty()) {
        printer.setPrinterName(Printer);
    }
    if (PaperSize > 0) {
        const QPageSize::PageSizeId id = QPageSize::id(PaperSize);
        if (id != QPageSize::Custom) {
            printer.setPageSize(QPageSize(id));
        }
    }
    if (Orientation == 1 || Orientation == 2) {
        printer.setPageOrientation(Orientation == 2 ? QPageLayout::Landscape
                                                    : QPageLayout::Portrait);
    }
    if (PrintQuality > 0) {
        printer.setResolution(PrintQuality);
    }
    // All-zero margins keep the printer's own, so a first call shows sensible values.
    if (LeftMargin != 0 || RightMargin != 0 || TopMargin != 0 || BottomMargin != 0) {
        printer.setPageMargins(QMarginsF(Rules::MarginMillimeters(LeftMargin, Units),
                                         Rules::MarginMillimeters(TopMargin, Units),
                                         Rules::MarginMillimeters(RightMargin, Units),
                                         Rules::MarginMillimeters(BottomMargin, Units)),
                               QPageLayout::Millimeter);
    }

    QPageSetupDialog dialog(&printer, Owner);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }

    const QPageLayout layout = printer.pageLayout();
    const QMarginsF margins = layout.margins(QPageLayout::Millimeter);
    LeftMargin = std::max(Rules::MarginFromMillimeters(margins.left(), Units), MinLeftMargin);
    RightMargin = std::max(Rules::MarginFromMillimeters(margins.right(), Units), MinRightMargin);
    TopMargin = std::max(Rules::MarginFromMillimeters(margins.top(), Units), MinTopMargin);
    BottomMargin = std::max(Rules::MarginFromMillimeters(margins.bottom(), Units), MinBottomMargin);
    PaperSize = layout.pageSize().windowsId();
    Orientation = layout.orientation() == QPageLayout::Landscape ? 2 : 1;
    PrintQuality = printer.resolution();
    Printer = printer.printerName();
    flags = dialogFlags;
    m_apiReturn = 1;
    return true;
}
