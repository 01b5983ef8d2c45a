#pragma once

#include "controls/CommonDialogRules.h"
#include "controls/WinColor.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QFileDialog;
class QFont;
class QPrinter;
class QWidget;

/// The standard dialogs behind plain arguments: open file, save file, file title, colour, font,
/// print and page setup. Each call returns true when the user confirmed the dialog; the arguments
/// the call writes back are references, the ones it only reads are values or const references.
/// An Owner of nullptr means no owner window.
///
/// How the calls map onto Qt:
/// - Open and save use QFileDialog. Each filter pair becomes a name filter "description
///   (patterns)" with the details hidden, so the user sees the description alone; a pattern's
///   leading blank and ";" separators are taken apart, and "*.*" becomes "*" so that names
///   without a dot stay visible. FileMustExist selects ExistingFile, MultiSelect ExistingFiles
///   (Qt has no multiple choice of new names), otherwise AnyFile; OverWritePrompt is Qt's
///   overwrite confirmation; InitDir, DlgTitle (empty: Qt's "Open"/"Save As"), DefaultExt (the
///   default suffix) and Filename (the preselected name) are passed on.
/// - The colour dialog is QColorDialog; the 16 custom colours are its custom colours, resolved
///   from system colour values against the owner's palette, and the ones the user changed come
///   back as plain colours, after a confirm and after a cancel alike.
/// - The font dialog is QFontDialog; CurFont is read and written back whole; FixedPitchOnly and
///   ScalableOnly select monospaced and scalable fonts; with a size limit the chosen size is kept
///   within MinSize..MaxSize.
/// - Print and page setup are QPrintDialog and QPageSetupDialog on one QPrinter kept by the object
///   (printerSetup()), which carries the device and paper choices from one dialog to the other.
///   Printer is the printer's name in and out; PrintToFile reports printing to a PDF file; paper
///   sizes use the classic paper numbers (9 = A4), orientation 1 portrait, 2 landscape,
///   PrintQuality a resolution in dots per inch; margins are in the Units given.
///
/// What has no counterpart:
/// - The open dialog's read-only check box: ReadOnly and flag 0x1 come back as they went in
///   unless a test handler answers otherwise; of the returned flags only 0x1 is maintained.
/// - The process working folder is never changed by a file dialog.
/// - Full-open and any/solid colour options: Qt's colour dialog is always fully open.
/// - PrinterDC and the font colour: Qt's font dialog lists screen fonts and offers no colour, so
///   Color is left as it is.
/// - hDC: there is no device context; it comes back as 0 and output goes through printerSetup().
///   PrintToFile cannot preselect printing to a file, PreventWarning has nothing to suppress.
/// - The page-setup Disable* options: Qt's page-setup dialog always offers every part; minimum
///   margins are applied to the result instead of limiting the dialog.
///
/// File names longer than the classic 260-character buffer (259 bytes of UTF-8 plus the ending
/// NUL) cannot be passed in: the call fails with ExtendedError kBufferTooSmall (0x3003). A chosen
/// path is returned whole, however long, because Linux paths may exceed that buffer.
///
/// Tests install a handler per dialog kind that answers instead of a person; the real dialogs run
/// only when none is installed.
class cCommonDialog final {
public:
    enum class Result { Confirmed, Cancelled, Failed };

    struct FilterPair {
        QString description;
        QString pattern;
        bool operator==(const FilterPair&) const = default;
    };

    /// What an open or save dialog is asked to show.
    struct FileRequest {
        bool save = false;
        std::uint32_t flags = 0; ///< the dialog flags after the flag rules
        std::vector<FilterPair> filters;
        QStringList nameFilters; ///< the same filters as the file dialog shows them
        int filterIndex = 0;     ///< as passed, counted from 1
        QString initDir;
        QString title;
        QString defaultExt;
        QString fileName; ///< the name buffer up to its first NUL
        QWidget* owner = nullptr;
    };
    struct FileAnswer {
        Result result = Result::Cancelled;
        QStringList files; ///< the chosen files; one unless MultiSelect
        int filterIndex = 1;
        bool readOnly = false;
        std::uint32_t extendedError = CommonDialogRules::kDialogFailure; ///< for Failed
    };
    using FileHandler = std::function<FileAnswer(const FileRequest&)>;

    using ColorSet = CommonDialogRules::CustomColors::Set;
    struct ColorRequest {
        WinColor::Value color = 0;
        std::uint32_t flags = 0; ///< the dialog flags after the flag rules
        ColorSet customColors{};
        QWidget* owner = nullptr;
    };
    struct ColorAnswer {
        Result result = Result::Cancelled;
        WinColor::Value color = 0;
        std::optional<ColorSet> customColors; ///< the custom colours afterwards, when changed
        std::uint32_t extendedError = CommonDialogRules::kDialogFailure; ///< for Failed
    };
    using ColorHandler = std::function<ColorAnswer(const ColorRequest&)>;

    cCommonDialog();
    ~cCommonDialog();
    cCommonDialog(const cCommonDialog&) = delete;
    cCommonDialog& operator=(const cCommonDialog&) = delete;

    bool VBGetOpenFileName(QString& Filename, QString& FileTitle, bool FileMustExist,
                           bool MultiSelect, bool& ReadOnly, bool HideReadOnly, QString& Filter,
                           int& FilterIndex, const QString& InitDir, const QString& DlgTitle,
                           const QString& DefaultExt, QWidget* Owner, std::uint32_t& flags);
    bool VBGetSaveFileName(QString& Filename, QString& FileTitle, bool OverWritePrompt,
                           QString& Filter, int& FilterIndex, const QString& InitDir,
                           const QString& DlgTitle, const QString& DefaultExt, QWidget* Owner,
                           std::uint32_t& flags);
    /// The last component of a path.
    QString VBGetFileTitle(const QString& sFile);

    bool VBChooseColor(WinColor::Value& Color, bool AnyColor, bool FullOpen, bool DisableFullOpen,
                       QWidget* Owner, std::uint32_t& flags);
    /// Custom colour 0..15; outside that range it reads CustomColors::kNoColor (-1).
    WinColor::Value CustomColor(int index);
    /// Sets custom colour 0..15; an index outside writes nothing.
    void SetCustomColor(int index, WinColor::Value color);

    bool VBChooseFont(QFont& CurFont, std::intptr_t PrinterDC, QWidget* Owner,
                      WinColor::Value Color, int MinSize, int MaxSize, std::uint32_t& flags);
    bool VBPrintDlg(std::intptr_t& hDC, int& PrintRange, bool DisablePageNumbers, int& FromPage,
                    int& ToPage, bool DisableSelection, int& Copies, bool ShowPrintToFile,
                    bool DisablePrintToFile, bool& PrintToFile, bool& Collate, bool PreventWarning,
                    QWidget* Owner, QString& Printer, std::uint32_t& flags);
    bool VBPageSetupDlg(QWidget* Owner, bool DisableMargins, bool DisableOrientation,
                        bool DisablePaper, bool DisablePrinter, int& LeftMargin, int MinLeftMargin,
                        int& RightMargin, int MinRightMargin, int& TopMargin, int MinTopMargin,
                        int& BottomMargin, int MinBottomMargin, int& PaperSize, int& Orientation,
                        int& PrintQuality, int Units, QString& Printer, std::uint32_t& flags);

    /// 1 when the last dialog was confirmed, else 0.
    std::int32_t APIReturn() const { return m_apiReturn; }
    /// Why the last dialog failed; 0 after a confirm or a cancel.
    std::uint32_t ExtendedError() const { return m_extendedError; }

    /// The printer the print and page-setup dialogs set up; print through it.
    QPrinter& printerSetup();

    /// Replace the dialogs; nullptr restores them. Each returns the handler installed before.
    static FileHandler SetOpenHandler(FileHandler handler);
    static FileHandler SetSaveHandler(FileHandler handler);
    static ColorHandler SetColorHandler(ColorHandler handler);

    /// Sets a file dialog up for a request, as the real open and save calls do before showing it.
    static void ConfigureFileDialog(QFileDialog& dialog, const FileRequest& request);
    /// The name filter chosen in a dialog set up that way, counted from 1; 0 when there is none.
    static int ChosenFilterIndex(const QFileDialog& dialog);

private:
    bool fileDialog(const FileHandler& handler, bool save, std::uint32_t dialogFlags,
                    QString& Filename, QString& FileTitle, bool* ReadOnly, QString& Filter,
                    int& FilterIndex, const QString& InitDir, const QString& DlgTitle,
                    const QString& DefaultExt, QWidget* Owner, std::uint32_t& flags);
    void begin();

    std::int32_t m_apiReturn = 0;
    std::uint32_t m_extendedError = 0;
    CommonDialogRules::CustomColors m_customColors;
    std::unique_ptr<QPrinter> m_printer;
};
