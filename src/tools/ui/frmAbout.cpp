#include "tools/ui/frmAbout.h"

#include "controls/Button.h"
#include "controls/ControlGeometry.h"
#include "controls/MsgBox.h"
#include "controls/WindowText.h"
#include "platform/ProgramSearch.h"
#include "product/Product.h"
#include "tools/AboutTexts.h"
#include "tools/ui/Shell.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

using ControlGeometry::PixelsFromTwips;

namespace {

/// The banner: a shield beside the program's name on a blue band.
QPixmap banner(QSize size) {
    QPixmap picture(size);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient band(0, 0, size.width(), 0);
    band.setColorAt(0, QColor(39, 64, 139));
    band.setColorAt(1, QColor(60, 127, 177));
    painter.fillRect(picture.rect(), band);
    const qreal h = size.height();
    QPainterPath shield;
    shield.moveTo(24, 6);
    shield.lineTo(40, 11);
    shield.cubicTo(40, 28, 34, h - 10, 24, h - 5);
    shield.cubicTo(14, h - 10, 8, 28, 8, 11);
    shield.closeSubpath();
    painter.fillPath(shield, QColor(235, 240, 250));
    painter.setPen(QPen(QColor(39, 64, 139), 3));
    painter.drawLine(QPointF(17, h / 2), QPointF(23, h / 2 + 7));
    painter.drawLine(QPointF(23, h / 2 + 7), QPointF(32, h / 2 - 7));
    painter.setPen(Qt::white);
    painter.setFont(QFont(QStringLiteral("Arial"), 15, QFont::Bold));
    painter.drawText(QRect(52, 0, size.width() - 56, size.height()), Qt::AlignVCenter,
                     QStringLiteral("Kesto Virus Scanner"));
    return picture;
}

/// A group of "caption : value" rows.
QGroupBox* factsGroup(const QString& title, QWidget* parent, const char* name,
                      const std::vector<std::pair<QString, QString>>& rows) {
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(QString::fromLatin1(name));
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setHorizontalSpacing(4);
    // Rows 240 twips apart where the font allows it.
    grid->setVerticalSpacing(std::max(1, PixelsFromTwips(240) - group->fontMetrics().height()));
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        const auto& [caption, value] = rows[static_cast<std::size_t>(row)];
        grid->addWidget(makeLabel(caption, group), row, 0);
        grid->addWidget(makeLabel(QStringLiteral(":"), group), row, 1);
        grid->addWidget(makeLabel(value, group), row, 2);
    }
    grid->setColumnStretch(2, 1);
    return group;
}

} // namespace

frmAbout::frmAbout(QWidget* mainWindow, std::string programFolder, bool timerTicks,
                   const std::string& guardStateFolder)
    : ToolWindow(mainWindow, QStringLiteral("frmAbout"), toQString(AboutTexts::kAboutTitle)),
      m_programFolder(std::move(programFolder)), m_timerTicks(timerTicks) {
    const int right = 321;

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(16, 8, PixelsFromTwips(4335), 48);
    Image1->setPixmap(banner(Image1->size()));

    std::vector<std::pair<QString, QString>> versions;
    for (const Product::VersionRow& row : Product::kVersionTable) {
        versions.emplace_back(toQString(row.caption), toQString(row.value));
    }
    Frame1 = factsGroup(toQString(AboutTexts::kVersionFrame), this, "Frame1", versions);
    // As wide as the version table needs in the font at hand.
    const int rightWidth = std::max(240, Frame1->sizeHint().width());
    Frame1->setGeometry(right, 4, rightWidth, Frame1->sizeHint().height());

    // The engine in use, as `kesto --version` names it, and the guard; long names wrap.
    m_engine = new QGroupBox(QStringLiteral("Engine in Use"), this);
    m_engine->setObjectName(QStringLiteral("FrameEngine"));
    auto* engineRows = new QVBoxLayout(m_engine);
    engineRows->setContentsMargins(8, 4, 8, 4);
    engineRows->setSpacing(2);
    std::vector<std::string> engineLines;
    for (const auto& [caption, value] : AboutTexts::EngineFacts()) {
        engineLines.push_back(caption + ": " + value);
    }
    engineLines.push_back(AboutTexts::GuardFact(guardStateFolder));
    for (const std::string& line : engineLines) {
        QLabel* fact = makeLabel(toQString(line), m_engine);
        fact->setWordWrap(true);
        engineRows->addWidget(fact);
    }
    // Down to the row of buttons, or taller when its wrapped lines need it; the buttons then move
    // down below it.
    const int engineTop = Frame1->geometry().bottom() + 4;
    const int engineHeight =
        std::max(PixelsFromTwips(3360) - 6 - engineTop, m_engine->heightForWidth(rightWidth));
    m_engine->setGeometry(right, engineTop, rightWidth, engineHeight);
    const int buttonTop = std::max(PixelsFromTwips(3360), engineTop + engineHeight + 6);

    // The credits move inside a fixed viewport that clips them.
    Picture1 = new QFrame(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setFrameShape(QFrame::Box);
    Picture1->setGeometry(PixelsFromTwips(240), PixelsFromTwips(960), PixelsFromTwips(4335),
                          PixelsFromTwips(2175));
    Picture1->setAutoFillBackground(true);
    Picture1->setStyleSheet(QStringLiteral("QFrame#Picture1 { background: white; }"));
    Text1 = new QPlainTextEdit(Picture1);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setFont(QFont(QStringLiteral("Tahoma"), 8));
    Text1->setReadOnly(true);
    Text1->setFrameShape(QFrame::NoFrame);
    Text1->setFocusPolicy(Qt::NoFocus);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QString credits = toQString(AboutTexts::CreditsText());
    credits.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    credits.chop(1); // the last line break ends the text, it adds no line
    Text1->setPlainText(credits);
    Text1->setFixedSize(PixelsFromTwips(4215), PixelsFromTwips(6500));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, &frmAbout::Timer1_Timer);

    const struct {
        Button*& button;
        const char* name;
        const char* caption;
        int left;
        void (frmAbout::*handler)();
    } buttons[] = {
        {cmdVisitMe, "cmdVisitMe", "Visit Me", 600, &frmAbout::cmdVisitMe_Click},
        {Button1, "Button1", "ReadMe", 2640, &frmAbout::Button1_Click},
        {cmd_tutup, "cmd_tutup", "Close", 4680, &frmAbout::cmd_tutup_Click},
    };
    for (const auto& item : buttons) {
        item.button = Button::programButton(this, QString::fromLatin1(item.caption));
        item.button->setObjectName(QString::fromLatin1(item.name));
        item.button->setGeometry(PixelsFromTwips(item.left), buttonTop, PixelsFromTwips(1695),
                                 PixelsFromTwips(375));
        connect(item.button, &Button::Click, this, item.handler);
    }
    cmdVisitMe->setToolTip(toQString(Product::kWebSite));
    setFixedSize(right + rightWidth + 16, buttonTop + PixelsFromTwips(375 + 240));
    placeCredits(AboutTexts::kCreditsStartTop);
}

frmAbout::~frmAbout() = default;

void frmAbout::Form_Load() {
    if (QWidget* main = mainWindow()) {
        main->setEnabled(false);
        setWindowIcon(main->windowIcon());
    }
    placeCredits(AboutTexts::kCreditsStartTop);
    Timer1->setInterval(AboutTexts::kCreditsTickMs);
    if (m_timerTicks) {
        Timer1->start();
    }
}

void frmAbout::placeCredits(int top) {
    m_creditsTop = top;
    Text1->move(PixelsFromTwips(60), PixelsFromTwips(top));
}

void frmAbout::Timer1_Timer() {
    placeCredits(AboutTexts::NextCreditsTop(m_creditsTop));
}

void frmAbout::cmdVisitMe_Click() {
    Shell::OpenAddress(this, std::string(Product::kWebSite));
}

void frmAbout::Button1_Click() {
    const std::string path = AboutTexts::ReadMePath(m_programFolder);
    if (platform::isRegularFile(path)) {
        Shell::OpenFile(this, path);
        return;
    }
    MsgBox::Show(this, toQString(AboutTexts::ReadMeMissingText(m_programFolder)),
                 AboutTexts::kReadMeMissingStyle, toQString(AboutTexts::kReadMeMissingTitle));
}

void frmAbout::cmd_tutup_Click() {
    close();
}

void frmAbout::closeEvent(QCloseEvent* event) {
    Timer1->stop();
    ToolWindow::closeEvent(event);
}
