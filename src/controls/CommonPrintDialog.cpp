#include "controls/cCommonDialog.h"

#include <QMarginsF>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <algorithm>

namespace Rules = CommonDialogRules;

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
