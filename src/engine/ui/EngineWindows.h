#pragma once

#include <QPointer>
#include <memory>
#include <string>

class ExtraSignatures;
class QWidget;
class frmSignature;
class frmTempDb;

/// Opens the signature list and the file inspector for the main window. Each window exists once:
/// opening it again while it is open brings the same window forward; opening it after it was
/// closed loads it afresh.
///
/// The windows are separate top-level widgets owned here rather than QObject children of the
/// main window: Qt disables every child widget of a disabled widget, child windows included, and
/// the main window stays disabled while either is open. They stay above the main window as its
/// transient children.
class EngineWindows final {
public:
    /// `extra`: the signature sources beside the database, which the signature list counts.
    EngineWindows(QWidget* mainWindow, std::string databasePath,
                  std::shared_ptr<const ExtraSignatures> extra = nullptr);
    ~EngineWindows();
    EngineWindows(const EngineWindows&) = delete;
    EngineWindows& operator=(const EngineWindows&) = delete;

    /// "View Signatures".
    void showSignatures();
    /// "Temporary Database".
    void showTempDb();

    /// The windows once opened; nullptr before their first opening.
    frmSignature* signatures() const { return m_signatures.get(); }
    frmTempDb* tempDb() const { return m_tempDb.get(); }

private:
    void present(QWidget& window) const;

    QPointer<QWidget> m_mainWindow;
    std::string m_databasePath;
    std::shared_ptr<const ExtraSignatures> m_extra;
    std::unique_ptr<frmSignature> m_signatures;
    std::unique_ptr<frmTempDb> m_tempDb;
};
