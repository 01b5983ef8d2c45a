#include "controls/cCommonDialog.h"
#include "platform/ScopedSeam.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QTest>
#include <QWidget>
#include <optional>

namespace Rules = CommonDialogRules;

namespace {

QString nul() {
    return QString(QChar(u'\0'));
}

/// The arguments of an open call, set up as the file inspector makes it.
struct OpenCall {
    QString Filename;
    QString FileTitle;
    bool FileMustExist = true;
    bool MultiSelect = false;
    bool ReadOnly = false;
    bool HideReadOnly = false;
    QString Filter = QStringLiteral("All (*.*)| *.*");
    int FilterIndex = 1;
    QString InitDir;
    QString DlgTitle;
    QString DefaultExt;
    QWidget* Owner = nullptr;
    std::uint32_t flags = 0;

    bool run(cCommonDialog& dialog) {
        return dialog.VBGetOpenFileName(Filename, FileTitle, FileMustExist, MultiSelect, ReadOnly,
                                        HideReadOnly, Filter, FilterIndex, InitDir, DlgTitle,
                                        DefaultExt, Owner, flags);
    }
};

cCommonDialog::FileAnswer chosen(QStringList files, int filterIndex, bool readOnly = false) {
    cCommonDialog::FileAnswer answer;
    answer.result = cCommonDialog::Result::Confirmed;
    answer.files = std::move(files);
    answer.filterIndex = filterIndex;
    answer.readOnly = readOnly;
    return answer;
}

} // namespace

class CommonDialogTest final : public QObject {
    Q_OBJECT

private:
    std::optional<cCommonDialog::FileRequest> m_request;
    int m_calls = 0;
    std::optional<platform::ScopedSeam<cCommonDialog::FileHandler>> m_openAnswers;

    /// Answers every open dialog with `answer` and keeps the request, until the test ends.
    void answerOpen(cCommonDialog::FileAnswer answer) {
        m_openAnswers.emplace(cCommonDialog::SetOpenHandler,
                              [this, answer](const cCommonDialog::FileRequest& request) {
                                  m_request = request;
                                  ++m_calls;
                                  return answer;
                              });
    }

private slots:
    void init() {
        m_request.reset();
        m_calls = 0;
    }

    void cleanup() { m_openAnswers.reset(); }

    void inspectorCallReachesTheHandlerAndConfirms() {
        QWidget inspector;
        answerOpen(chosen({QStringLiteral("/home/user/samples/tool.exe")}, 1));
        cCommonDialog dialog;
        OpenCall call;
        call.Owner = &inspector;

        QVERIFY(call.run(dialog));

        QVERIFY(m_request);
        const cCommonDialog::FileRequest& request = *m_request;
        QVERIFY(!request.save);
        QCOMPARE(request.flags, 0x1000u);
        QVERIFY(request.filters == (std::vector<cCommonDialog::FilterPair>{
                                       {QStringLiteral("All (*.*)"), QStringLiteral(" *.*")}}));
        QCOMPARE(request.nameFilters, QStringList{QStringLiteral("All (*.*) (*)")});
        QCOMPARE(request.filterIndex, 1);
        QVERIFY(request.initDir.isEmpty() && request.title.isEmpty());
        QVERIFY(request.defaultExt.isEmpty() && request.fileName.isEmpty());
        QCOMPARE(request.owner, &inspector);

        QCOMPARE(call.Filename, QStringLiteral("/home/user/samples/tool.exe"));
        QCOMPARE(call.FileTitle, QStringLiteral("tool.exe"));
        QCOMPARE(call.FilterIndex, 1);
        QCOMPARE(call.Filter, QStringLiteral("All (*.*)") + nul() + QStringLiteral(" *.*"));
        QCOMPARE(call.ReadOnly, false);
        QCOMPARE(call.flags, 0x1000u);
        QCOMPARE(dialog.APIReturn(), 1);
        QCOMPARE(dialog.ExtendedError(), 0u);
    }

    void fourPartFilterReadOnlyAndSeveralFiles() {
        answerOpen(chosen({QStringLiteral("/data/a.exe"), QStringLiteral("/data/b.scr")}, 2, true));
        cCommonDialog dialog;
        OpenCall call;
        call.Filter = QStringLiteral("Text|*.txt|Programs|*.exe;*.scr");
        call.FilterIndex = 2;
        call.MultiSelect = true;
        call.HideReadOnly = true;
        call.flags = 0x20 | 0x8;

        QVERIFY(call.run(dialog));

        QCOMPARE(m_request->flags, 0x1000u | 0x200 | 0x4 | 0x8);
        QCOMPARE(m_request->filters.size(), std::size_t{2});
        QCOMPARE(m_request->filters[1].pattern, QStringLiteral("*.exe;*.scr"));
        QCOMPARE(m_request->nameFilters.at(1), QStringLiteral("Programs (*.exe *.scr)"));
        QCOMPARE(call.Filter, QStringLiteral("Programs") + nul() + QStringLiteral("*.exe;*.scr"));
        QCOMPARE(call.FilterIndex, 2);
        QCOMPARE(call.Filename, QStringLiteral("/data") + nul() + QStringLiteral("a.exe") + nul() +
                                    QStringLiteral("b.scr"));
        QVERIFY(call.FileTitle.isEmpty());
        QCOMPARE(call.ReadOnly, true);
        QCOMPARE(call.flags, 0x1000u | 0x200 | 0x4 | 0x8 | 0x1);
    }

    void cancelAndFailureClearTheOutputs() {
        for (const bool fail : {false, true}) {
            cCommonDialog::FileAnswer answer;
            answer.result = fail ? cCommonDialog::Result::Failed : cCommonDialog::Result::Cancelled;
            answer.extendedError = 0x3002;
            answerOpen(answer);
            cCommonDialog dialog;
            OpenCall call;
            call.Filename = QStringLiteral("/old/name");
            call.FileTitle = QStringLiteral("name");
            call.FilterIndex = 1;
            call.flags = 0x8;

            QVERIFY(!call.run(dialog));

            QVERIFY(call.Filename.isEmpty());
            QVERIFY(call.FileTitle.isEmpty());
            QVERIFY(call.Filter.isEmpty());
            QCOMPARE(call.FilterIndex, -1);
            QCOMPARE(call.flags, 0u);
            QCOMPARE(dialog.APIReturn(), 0);
            QCOMPARE(dialog.ExtendedError(), fail ? 0x3002u : 0u);
            QCOMPARE(m_request->fileName, QStringLiteral("/old/name"));
        }
    }

    void aNameOf260BytesCannotBePassed() {
        answerOpen(chosen({QStringLiteral("/x")}, 1));
        cCommonDialog dialog;
        OpenCall call;
        call.Filename = QString(259, u'a');
        QVERIFY(call.run(dialog));
        QCOMPARE(m_request->fileName, QString(259, u'a'));

        call.Filename = QString(260, u'a');
        QVERIFY(!call.run(dialog));
        QCOMPARE(m_calls, 1);
        QCOMPARE(dialog.ExtendedError(), Rules::kBufferTooSmall);
        QVERIFY(call.Filename.isEmpty());
        QCOMPARE(call.FilterIndex, -1);

        // The next call starts afresh.
        QVERIFY(call.run(dialog));
        QCOMPARE(dialog.ExtendedError(), 0u);
    }

    void saveUsesItsOwnHandlerAndTheOverwritePrompt() {
        answerOpen(chosen({QStringLiteral("/wrong")}, 1));
        std::optional<cCommonDialog::FileRequest> saveRequest;
        const platform::ScopedSeam saveAnswers(
            cCommonDialog::SetSaveHandler, [&](const cCommonDialog::FileRequest& request) {
                saveRequest = request;
                return chosen({QStringLiteral("/home/user/report.txt")}, 1);
            });
        cCommonDialog dialog;
        QString Filename = QStringLiteral("report");
        QString FileTitle;
        QString Filter = QStringLiteral("Text|*.txt");
        int FilterIndex = 1;
        std::uint32_t flags = 0x40;

        QVERIFY(dialog.VBGetSaveFileName(Filename, FileTitle, true, Filter, FilterIndex,
                                         QStringLiteral("/home/user"), QStringLiteral("Save"),
                                         QStringLiteral("txt"), nullptr, flags));

        QCOMPARE(m_calls, 0);
        QVERIFY(saveRequest && saveRequest->save);
        QCOMPARE(saveRequest->flags, 0x2u);
        QCOMPARE(saveRequest->initDir, QStringLiteral("/home/user"));
        QCOMPARE(saveRequest->title, QStringLiteral("Save"));
        QCOMPARE(saveRequest->defaultExt, QStringLiteral("txt"));
        QCOMPARE(saveRequest->fileName, QStringLiteral("report"));
        QCOMPARE(Filename, QStringLiteral("/home/user/report.txt"));
        QCOMPARE(FileTitle, QStringLiteral("report.txt"));
        QCOMPARE(flags, 0x2u);
        QCOMPARE(dialog.VBGetFileTitle(Filename), QStringLiteral("report.txt"));
    }

    void colourDialogAndCustomColours() {
        std::optional<cCommonDialog::ColorRequest> request;
        cCommonDialog::ColorAnswer answer;
        answer.result = cCommonDialog::Result::Confirmed;
        answer.color = WinColor::Rgb(10, 20, 30);
        const platform::ScopedSeam colorAnswers(cCommonDialog::SetColorHandler,
                                                [&](const cCommonDialog::ColorRequest& asked) {
                                                    request = asked;
                                                    return answer;
                                                });
        cCommonDialog dialog;
        QCOMPARE(dialog.CustomColor(16), Rules::CustomColors::kNoColor);
        dialog.SetCustomColor(-1, WinColor::Rgb(1, 1, 1));
        dialog.SetCustomColor(5, WinColor::Rgb(5, 5, 5));
        WinColor::Value color = WinColor::Rgb(200, 0, 0);
        std::uint32_t flags = 0x10 | 0x20 | 0x40;

        QVERIFY(dialog.VBChooseColor(color, true, true, false, nullptr, flags));

        QCOMPARE(request->color, WinColor::Rgb(200, 0, 0));
        QCOMPARE(request->flags, 0x100u | 0x2 | 0x1 | 0x40);
        QCOMPARE(request->customColors[0], WinColor::System(0));
        QCOMPARE(request->customColors[5], WinColor::Rgb(5, 5, 5));
        QCOMPARE(request->customColors[15], WinColor::System(15));
        QCOMPARE(color, WinColor::Rgb(10, 20, 30));
        QCOMPARE(flags, 0x143u);

        // A cancel keeps the colour, but custom colours the user changed are kept too.
        answer.result = cCommonDialog::Result::Cancelled;
        cCommonDialog::ColorSet changed = request->customColors;
        changed[15] = WinColor::Rgb(7, 7, 7);
        answer.customColors = changed;
        flags = 0x40;
        QVERIFY(!dialog.VBChooseColor(color, false, false, true, nullptr, flags));
        QCOMPARE(request->flags, 0x80u | 0x4 | 0x1 | 0x40);
        QCOMPARE(color, WinColor::Rgb(10, 20, 30));
        QCOMPARE(dialog.CustomColor(15), WinColor::Rgb(7, 7, 7));
        QCOMPARE(dialog.APIReturn(), 0);
        QCOMPARE(dialog.ExtendedError(), 0u);
    }

    void realFileDialogIsSetUpFromTheRequest() {
        cCommonDialog::FileRequest request;
        request.flags = Rules::kFileMustExist;
        request.nameFilters = QStringList{QStringLiteral("All (*.*) (*)")};
        request.filterIndex = 1;
        {
            QFileDialog dialog;
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            cCommonDialog::ConfigureFileDialog(dialog, request);
            QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFile);
            QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptOpen);
            QCOMPARE(cCommonDialog::ChosenFilterIndex(dialog), 1);
            // The user sees the description alone.
            QCOMPARE(dialog.selectedNameFilter(), QStringLiteral("All (*.*)"));
            // Qt reads the patterns out of the name filter: every file is listed.
            const auto* model = dialog.findChild<QFileSystemModel*>();
            QVERIFY(model != nullptr);
            QCOMPARE(model->nameFilters(), QStringList{QStringLiteral("*")});
        }

        request.flags = Rules::kMultiSelect;
        request.nameFilters =
            QStringList{QStringLiteral("Text (*.txt)"), QStringLiteral("Programs (*.exe *.scr)")};
        request.filterIndex = 2;
        {
            QFileDialog dialog;
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            cCommonDialog::ConfigureFileDialog(dialog, request);
            QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFiles);
            QCOMPARE(cCommonDialog::ChosenFilterIndex(dialog), 2);
            const auto* model = dialog.findChild<QFileSystemModel*>();
            QVERIFY(model != nullptr);
            QCOMPARE(model->nameFilters(),
                     (QStringList{QStringLiteral("*.exe"), QStringLiteral("*.scr")}));
        }

        request.save = true;
        request.flags = Rules::kOverwritePrompt;
        request.filterIndex = 9; // outside: the first filter
        {
            QFileDialog dialog;
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            cCommonDialog::ConfigureFileDialog(dialog, request);
            QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptSave);
            QCOMPARE(dialog.fileMode(), QFileDialog::AnyFile);
            QVERIFY(!dialog.testOption(QFileDialog::DontConfirmOverwrite));
            QCOMPARE(cCommonDialog::ChosenFilterIndex(dialog), 1);
        }
    }
};

QTEST_MAIN(CommonDialogTest)
#include "CommonDialogTest.moc"
