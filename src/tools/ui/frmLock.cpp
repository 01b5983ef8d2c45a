#include "tools/ui/frmLock.h"

#include "controls/Button.h"
#include "controls/ButtonLook.h"
#include "controls/MsgBox.h"
#include "controls/WindowText.h"

#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

namespace {

/// A padlock drawn at start, closed or with its shackle swung open.
QPixmap padlock(bool closed) {
    QPixmap picture(48, 48);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(90, 90, 100), 5));
    painter.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    const qreal left = closed ? 13 : 25;
    shackle.moveTo(left, 24);
    shackle.lineTo(left, 14);
    shackle.arcTo(QRectF(left, 3, 22, 22), 180, -180);
    shackle.lineTo(left + 22, closed ? 24 : 18);
    painter.drawPath(shackle);
    painter.setPen(QPen(QColor(120, 80, 10), 1));
    painter.setBrush(closed ? QColor(214, 160, 30) : QColor(120, 180, 90));
    painter.drawRoundedRect(QRectF(7, 22, 34, 23), 4, 4);
    painter.setBrush(QColor(40, 40, 40));
    painter.drawEllipse(QRectF(21, 29, 6, 6));
    painter.drawRect(QRectF(23, 33, 2, 7));
    return picture;
}

QLabel* picture(QWidget* parent, const char* name, bool closed) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setPixmap(padlock(closed));
    label->setGeometry(20, 24, 48, 48);
    label->hide();
    return label;
}

Button* button(QWidget* parent, const char* name, const char* caption, QRect place) {
    Button* result = Button::programButton(parent, QString::fromLatin1(caption));
    result->setObjectName(QString::fromLatin1(name));
    result->setGeometry(place);
    return result;
}

} // namespace

frmLock::frmLock(QWidget* mainWindow, modReg::Locations where, bool timerTicks)
    : ToolWindow(mainWindow, QStringLiteral("frmLock"), toQString(UsbLock::kTitle)),
      m_where(std::move(where)), m_timerTicks(timerTicks) {
    auto* Frame1 = new QGroupBox(QStringLiteral("Locked Area"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSize(9);
    Frame1->setFont(arial);
    Frame1->setGeometry(8, 8, 312, 132);
    imgLock = picture(Frame1, "imgLock", true);
    imgUnLock = picture(Frame1, "imgUnLock", false);
    cmdLock = button(Frame1, "cmdLock", "Lock USB Port", QRect(180, 24, 120, 26));
    cmdUnLock = button(Frame1, "cmdUnLock", "Un-Lock USB Port", QRect(180, 58, 120, 26));
    QLabel* Label3 = makeLabel(QStringLiteral("Current Status:"), Frame1, "Label3");
    Label3->setStyleSheet(QStringLiteral("color: #0000ff;"));
    Label3->setGeometry(14, 100, 100, 20);
    Label4 = makeLabel(toQString(UsbLock::kUnLockedText), Frame1, "Label4");
    Label4->setStyleSheet(QStringLiteral("color: #ff0000;"));
    Label4->setGeometry(116, 100, 80, 20);
    Label1 = makeLabel(QStringLiteral("3"), Frame1, "Label1");
    Label1->setGeometry(80, 40, ButtonLook::pixelsFromTwips(90), 20);
    auto* Frame2 = new QGroupBox(this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setGeometry(8, 146, 312, 50);
    button(Frame2, "Command1", "ReadMe", QRect(10, 14, 90, 26));
    button(Frame2, "Command2", "About", QRect(111, 14, 90, 26));
    button(Frame2, "cmdExit", "Exit", QRect(212, 14, 90, 26));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(UsbLock::kPollMs);
    connect(Timer1, &QTimer::timeout, this, &frmLock::Timer1_Timer);
    connect(cmdLock, &Button::Click, this, &frmLock::cmdLock_Click);
    connect(cmdUnLock, &Button::Click, this, &frmLock::cmdUnLock_Click);
    connect(Frame2->findChild<Button*>(QStringLiteral("Command1")), &Button::Click, this,
            &frmLock::Command1_Click);
    connect(Frame2->findChild<Button*>(QStringLiteral("Command2")), &Button::Click, this,
            &frmLock::Command2_Click);
    connect(Frame2->findChild<Button*>(QStringLiteral("cmdExit")), &Button::Click, this,
            &frmLock::cmdExit_Click);
    setFixedSize(328, 204);
}

frmLock::~frmLock() = default;

void frmLock::Form_Load() {
    Label4->setText(toQString(UsbLock::kUnLockedText));
    Label4->setToolTip(QString());
    Label1->setText(QStringLiteral("3"));
    imgLock->hide();
    imgUnLock->hide();
    cmdLock->setEnabled(true);
    cmdUnLock->setEnabled(true);
    m_watcher = std::make_unique<UsbLock::StartWatcher>(m_where);
    if (m_timerTicks) {
        Timer1->start();
    }
}

void frmLock::Timer1_Timer() {
    if (!m_watcher) {
        m_watcher = std::make_unique<UsbLock::StartWatcher>(m_where);
    }
    const UsbLock::Status status = m_watcher->poll();
    Label1->setText(toQString(modReg::ValueText(status.start)));
    if (const auto state = UsbLock::StateOf(status)) {
        showState(*state);
    } else if (UsbLock::LinesDisagree(status)) {
        // Neither state claimed, and either button rewrites the rule whole.
        Label4->setText(toQString(UsbLock::kNeitherText));
        Label4->setToolTip(toQString(UsbLock::StatusText(status)));
        imgLock->hide();
        imgUnLock->hide();
        cmdLock->setEnabled(true);
        cmdUnLock->setEnabled(true);
    }
    // Any other number, or a value that could not be read, changes nothing.
}

void frmLock::showState(std::uint32_t state) {
    const bool locked = state == UsbLock::kLocked;
    Label4->setText(toQString(locked ? UsbLock::kLockedText : UsbLock::kUnLockedText));
    Label4->setToolTip(QString());
    QLabel* shown = locked ? imgLock : imgUnLock;
    QLabel* hidden = locked ? imgUnLock : imgLock;
    shown->setToolTip(toQString(locked ? UsbLock::kLockedText : UsbLock::kUnLockedText));
    shown->show();
    hidden->hide();
    cmdLock->setEnabled(!locked);
    cmdUnLock->setEnabled(locked);
}

void frmLock::changeLock(bool lock) {
    const QString title = toQString(lock ? UsbLock::kLockedText : UsbLock::kUnLockedText);
    if (const std::error_code error = UsbLock::SetLocked(lock, m_where)) {
        MsgBox::Show(this, toQString(UsbLock::FailureText(lock, error)), MsgBox::kCritical, title);
        return;
    }
    showState(lock ? UsbLock::kLocked : UsbLock::kUnLocked);
    MsgBox::Show(this, toQString(lock ? UsbLock::kLockedMessage : UsbLock::kUnLockedMessage),
                 MsgBox::kExclamation, title);
}

void frmLock::cmdLock_Click() {
    changeLock(true);
}

void frmLock::cmdUnLock_Click() {
    changeLock(false);
}

void frmLock::Command1_Click() {
    MsgBox::Show(this, toQString(UsbLock::ReadMeText()), MsgBox::kInformation,
                 toQString(UsbLock::kReadMeTitle));
}

void frmLock::Command2_Click() {
    MsgBox::Show(this, toQString(UsbLock::AboutText()), MsgBox::kInformation,
                 toQString(UsbLock::kAboutTitle));
}

void frmLock::cmdExit_Click() {
    close();
}

void frmLock::closeEvent(QCloseEvent* event) {
    Timer1->stop();
    ToolWindow::closeEvent(event);
}
