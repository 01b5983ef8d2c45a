#pragma once

#include "controls/ToolWindow.h"
#include "tools/FileScan.h"
#include "tools/TaskList.h"

#include <functional>
#include <map>
#include <utility>
#include <vector>

class Button;
class QTreeWidget;

/// The task manager: the running processes with name, id and executable path; stops the
/// selected one.
class frmTask final : public ToolWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmTask)

public:
    /// Where the rows come from and how a row's process is stopped; tests give their own.
    /// An empty member means the running system.
    struct Sources {
        std::function<std::vector<TaskList::TaskRow>()> rows;
        std::function<platform::Termination(const TaskList::TaskRow&)> stop;
        /// The engine's check of an executable for "Check File".
        FileScan::Checker check;
    };
    frmTask(QWidget* mainWindow, Sources sources);
    ~frmTask() override;

    /// Fills the list.
    void Form_Load() override;

    QTreeWidget* list() const { return ListView1; }

public slots:
    void Button1_Click();
    void Button2_Click();
    /// Checks the selected process's executable with the engine, shows the result and marks
    /// the row when the engine lists it.
    void Button4_Click();

private:
    void RefreshProcessList();
    void sortBy(int column);

    Sources m_sources;
    std::vector<TaskList::TaskRow> m_rows;
    QTreeWidget* ListView1 = nullptr;
    Button* Button1 = nullptr;
    Button* Button2 = nullptr;
    Button* Button3 = nullptr;
    Button* Button4 = nullptr;
    /// Threat names found by Check File, by process id and start time.
    std::map<std::pair<std::int32_t, std::uint64_t>, std::string> m_threats;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
