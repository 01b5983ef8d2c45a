#include "tools/ui/frmSystem.h"

#include "controls/WindowText.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

frmSystem::frmSystem(QWidget* mainWindow, Rows rows)
    : ToolWindow(mainWindow, QStringLiteral("frmSystem"), toQString(SystemInfo::kSystemTitle)),
      m_rows(std::move(rows)) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 16);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(10);
    const auto captions = SystemInfo::SystemRows({}, {}, {});
    QLineEdit** boxes[] = {&Text1, &Text2, &Text3};
    for (int row = 0; row < 3; ++row) {
        QLabel* caption =
            makeLabel(toQString(captions[static_cast<std::size_t>(row)].caption), this);
        caption->setObjectName(QStringLiteral("Label1_%1").arg(row));
        grid->addWidget(caption, row, 0);
        auto* box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("Text%1").arg(row + 1));
        box->setReadOnly(true);
        box->setMinimumWidth(240);
        grid->addWidget(box, row, 1);
        *boxes[row] = box;
    }
    setFixedSize(sizeHint());
}

frmSystem::~frmSystem() = default;

void frmSystem::Form_Load() {
    const auto rows = m_rows();
    Text1->setText(toQString(rows[0].value));
    Text2->setText(toQString(rows[1].value));
    Text3->setText(toQString(rows[2].value));
}
