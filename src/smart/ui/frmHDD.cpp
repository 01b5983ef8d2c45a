#include "smart/ui/frmHDD.h"

#include "controls/ControlGeometry.h"
#include "smart/HddTexts.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QPlainTextEdit>
#include <algorithm>

namespace {

using ControlGeometry::PixelsFromTwips;

void placeTwips(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(PixelsFromTwips(left), PixelsFromTwips(top), PixelsFromTwips(width),
                        PixelsFromTwips(height));
}

/// A read-only box in a fixed-pitch font whose TAB stops are 8 average characters apart.
QPlainTextEdit* makeTableBox(QWidget* parent, const char* name) {
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setReadOnly(true);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    box->setFont(font);
    box->setTabStopDistance(QFontMetricsF(font).averageCharWidth() * 8);
    return box;
}

/// Core text with CR LF line ends as the boxes show it.
QString shownText(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

/// The height `label` needs at its width to show a drive identity with every field as long as a
/// drive reports it (40-character model in words, 20-character serial number): the geometry
/// lines below the model stay in sight however the model wraps.
int longestIdentityHeight(QLabel& label) {
    mSMARTDef::DriveInfo drive;
    drive.DriveType = mSMARTDef::kIdeDrive;
    drive.Model = "MODEL NAME OF FORTY CHARACTERS 123456789";
    drive.FirmWare = "FIRMWARE";
    drive.SerialNumber = "SERIAL89012345678901";
    drive.Cilinders = 16383;
    drive.Heads = 16;
    drive.SecPerTrack = 63;
    const std::string header = HddTexts::Header(mSMARTDef::kSlotNames[2], drive);
    const QString shown = label.text();
    label.setText(shownText(QString::fromLatin1(header.data(), qsizetype(header.size()))));
    const int height = label.heightForWidth(label.width());
    label.setText(shown);
    return height;
}

/// A busy cursor for as long as it lives.
class BusyCursor final {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

frmHDD::frmHDD(QWidget* mainWindow, Query query)
    : ToolWindow(mainWindow, QStringLiteral("frmHDD"), QString::fromLatin1(HddTexts::kDesignTitle)),
      m_query(std::move(query)) {
    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    placeTwips(Combo1, 120, 60, 2295, 315);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setTextFormat(Qt::PlainText);
    Label1->setWordWrap(true);
    Label1->setAutoFillBackground(true);
    QPalette colours = Label1->palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Base));
    colours.setColor(QPalette::WindowText, colours.color(QPalette::Text));
    Label1->setPalette(colours);
    placeTwips(Label1, 120, 420, 2295, 1875);

    Text1 = makeTableBox(this, "Text1");
    placeTwips(Text1, 2460, 60, 5355, 2235);

    // Below the classic controls: the drive's verdict and each attribute's raw value and verdict.
    lblHealth = new QLabel(this);
    lblHealth->setObjectName(QStringLiteral("lblHealth"));
    lblHealth->setTextFormat(Qt::PlainText);
    placeTwips(lblHealth, 120, 2370, 7695, 255);
    txtVerdicts = makeTableBox(this, "txtVerdicts");
    placeTwips(txtVerdicts, 120, 2670, 7695, 1860);

    // The identity label and the table beside it grow together when the font needs more room
    // than the classic height; the health line and the verdict box move down as much.
    const int extra = std::max(0, longestIdentityHeight(*Label1) - Label1->height());
    Label1->resize(Label1->width(), Label1->height() + extra);
    Text1->resize(Text1->width(), Text1->height() + extra);
    lblHealth->move(lblHealth->x(), lblHealth->y() + extra);
    txtVerdicts->move(txtVerdicts->x(), txtVerdicts->y() + extra);
    setFixedSize(PixelsFromTwips(7815 + 120), PixelsFromTwips(2670 + 1860 + 120) + extra);
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this] { Combo1_Click(); });
}

frmHDD::~frmHDD() = default;

void frmHDD::Form_Load() {
    setWindowTitle(QString::fromLatin1(HddTexts::kTitle));
    const QSignalBlocker quiet(Combo1);
    Combo1->clear();
    for (const auto name : mSMARTDef::kSlotNames) {
        Combo1->addItem(QString::fromLatin1(name.data(), qsizetype(name.size())));
    }
    Combo1->setCurrentIndex(0);
    Combo1_Click();
}

void frmHDD::Combo1_Click() {
    const int slot = Combo1->currentIndex();
    if (slot < 0) {
        return;
    }
    mSMARTDef::DriveInfo info;
    if (m_query) {
        // A drive that spins up can take seconds to answer.
        const BusyCursor busy;
        info = m_query(slot);
    }
    const std::string header =
        HddTexts::Header(Combo1->currentText().toLatin1().toStdString(), info);
    // Identity texts hold one character per byte, whatever the bytes are.
    const QString shownHeader =
        shownText(QString::fromLatin1(header.data(), qsizetype(header.size())));
    Label1->setText(shownHeader);
    // A serial number wider than the label runs past its edge; the tooltip shows it whole.
    Label1->setToolTip(shownHeader);
    Text1->setPlainText(shownText(QString::fromStdString(HddTexts::Table(info))));
    lblHealth->setText(QString::fromStdString(HddTexts::HealthLine(info)));
    txtVerdicts->setPlainText(shownText(QString::fromStdString(HddTexts::VerdictsOrReason(info))));
}
