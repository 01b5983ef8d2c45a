#include "controls/cCommonDialog.h"

#include <QFileDialog>
#include <utility>

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

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

cCommonDialog::FileHandler cCommonDialog::SetOpenHandler(FileHandler handler) {
    return std::exchange(openHandler(), std::move(handler));
}
cCommonDialog::FileHandler cCommonDialog::SetSaveHandler(FileHandler handler) {
    return std::exchange(saveHandler(), std::move(handler));
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
