#pragma once

#include "controls/ToolWindow.h"
#include "platform/FolderFiles.h"
#include "tools/Explorer.h"
#include "tools/FileScan.h"

#include <functional>
#include <string>
#include <system_error>
#include <vector>

class Button;
class QComboBox;
class QLabel;
class QListWidget;
class QSortFilterProxyModel;
class QTableView;
class FileTableModel;

/// The explorer: a drive box, a folder box and the table of the current folder's files with
/// their size, type and time, three summary lines, a filter for hidden and system files, and
/// Run File, which opens the selected file with its associated program.
class frmBrowse final : public ToolWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmBrowse)

public:
    /// Where the window gets its drives and files; an empty member means the running system.
    struct Sources {
        /// The folder the window opens on; the process's current folder when empty.
        std::string startFolder;
        std::function<std::vector<std::string>()> drives;
        /// Opens a drive's mount point; the error tells an unavailable device from others.
        std::function<std::error_code(const std::string& mountPoint)> probe;
        std::function<std::error_code(const std::string& folder,
                                      std::vector<platform::BrowseEntry>& files)>
            listFiles;
        /// The engine's check for "Scan File".
        FileScan::Checker check;
    };
    frmBrowse(QWidget* mainWindow, Sources sources);
    ~frmBrowse() override;

    /// Opens on the start folder with the filter "Show All files".
    void Form_Load() override;

    /// The folder whose files are listed.
    const std::string& folder() const { return m_folder; }
    QTableView* table() const { return PropertiesList; }
    QComboBox* driveBox() const { return Drive1; }
    QComboBox* filterBox() const { return Combo1; }
    QListWidget* folderBox() const { return Dir1; }
    /// The exact path of the file in the table's visible row `row`.
    std::string rowPath(int row) const;
    /// The exact path of the selected row's file; empty without a selection.
    std::string selectedPath() const;
    /// The selected row; nullptr without a selection.
    const Explorer::FileRow* selectedRow() const;

public slots:
    void Combo1_Click();
    void Drive1_Change();
    void Dir1_Change(const std::string& folder);
    void Dir1_Click();
    void cmdRemove_Click();
    /// Checks the selected file with the engine and shows checksum, type and result.
    void cmdScan_Click();

private:
    void setFolderPath(const std::string& folder);
    /// Reads the current folder's files again.
    void readFolder();
    void fillFolderBox(const std::string& folder);
    void selectDriveQuietly(const std::string& mountPoint);
    void RefreshFileList();
    void Total_Size();
    Explorer::Filter filter() const;

    Sources m_sources;
    std::string m_folder;
    std::vector<platform::BrowseEntry> m_files; ///< File1: the folder's files, unfiltered
    std::error_code m_listError;                ///< why the folder could not be listed
    std::vector<std::string> m_drives;          ///< the drive box's mount points
    std::vector<Explorer::ChainEntry> m_chain;  ///< the folder box's folders
    bool DriveChanging = false;
    char m_decimalSeparator = '.';

    QComboBox* Drive1 = nullptr;
    QListWidget* Dir1 = nullptr;
    QTableView* PropertiesList = nullptr;
    FileTableModel* m_model = nullptr;
    QSortFilterProxyModel* m_sorted = nullptr;
    QComboBox* Combo1 = nullptr;
    QLabel* lblFileNum = nullptr;
    QLabel* lblFileSort = nullptr;
    QLabel* lblDirSize = nullptr;
    Button* cmdRemove = nullptr;
    Button* Button1 = nullptr;
    Button* cmdScan = nullptr;
};
