#include "controls/ControlGallery.h"

#include "controls/Button.h"
#include "controls/ProgressBar.h"
#include "controls/VelkXpButton.h"
#include "controls/XPFrame.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QLabel* heading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

Button* styledButton(QWidget* parent, int style, int theme, const QString& caption) {
    auto* button = new Button(parent);
    button->setButtonStyle(style);
    button->setButtonTheme(theme);
    button->setCaption(caption);
    return button;
}

} // namespace

ControlGallery::ControlGallery(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Kesto Virus Scanner - Controls"));
    auto* layout = new QVBoxLayout(this);

    layout->addWidget(heading(QStringLiteral("Button: styles 1 to 8, style 7 in themes 1 to 8, "
                                             "rounded, toggle, effect, disabled"),
                              this));
    auto* buttons = new QGridLayout;
    for (int style = 1; style <= 8; ++style) {
        buttons->addWidget(styledButton(this, style, 0, QStringLiteral("Style %1").arg(style)), 0,
                           style - 1);
    }
    for (int theme = 1; theme <= 8; ++theme) {
        buttons->addWidget(styledButton(this, 7, theme, QStringLiteral("Theme %1").arg(theme)), 1,
                           theme - 1);
    }
    Button* rounded = styledButton(this, 7, 1, QStringLiteral("Rounded"));
    rounded->setButtonShape(1);
    Button* toggle = styledButton(this, 7, 1, QStringLiteral("Toggle"));
    toggle->setButtonType(1);
    toggle->setValue(true);
    Button* effect = styledButton(this, 5, 0, QStringLiteral("Shadow"));
    effect->setCaptionEffect(2);
    Button* disabled = styledButton(this, 7, 1, QStringLiteral("Disabled"));
    disabled->setEnabled(false);
    int column = 0;
    for (Button* button : {rounded, toggle, effect, disabled}) {
        buttons->addWidget(button, 2, column++);
    }
    layout->addLayout(buttons);

    layout->addWidget(heading(QStringLiteral("ProgressBar: themes 1 to 10"), this));
    auto* bars = new QGridLayout;
    for (int theme = 1; theme <= 10; ++theme) {
        auto* bar = new ProgressBar(this);
        bar->setTheme(theme);
        bar->setPBSCustomeColor1(WinColor::Rgb(128, 128, 255));
        bar->setPBSCustomeColor2(WinColor::Rgb(154, 179, 241));
        bar->setValue(theme * 10);
        bar->setTextStyle(3);
        bar->setText(QStringLiteral("Theme %1").arg(theme));
        bar->setFixedHeight(20);
        bars->addWidget(bar, (theme - 1) / 2, (theme - 1) % 2);
    }
    layout->addLayout(bars);

    layout->addWidget(heading(QStringLiteral("XPFrame: header captions left, right and centred; "
                                             "upward gradients; no header"),
                              this));
    auto* frames = new QHBoxLayout;
    const QString captions[] = {QStringLiteral("Left caption"), QStringLiteral("Right caption"),
                                QStringLiteral("Centred caption")};
    for (int alignment = 0; alignment < 3; ++alignment) {
        auto* frame = new XPFrame(this);
        frame->setCaption(captions[alignment]);
        frame->setCaptionAlignment(alignment);
        frame->setFixedSize(150, 90);
        frames->addWidget(frame);
    }
    auto* turned = new XPFrame(this);
    turned->setCaption(QStringLiteral("Angles 90 and 45"));
    turned->setHeaderAngle(90);
    turned->setBackAngle(45);
    turned->setCurvature(20);
    turned->setFixedSize(150, 90);
    frames->addWidget(turned);
    auto* plain = new XPFrame(this);
    plain->setStyle(1);
    plain->setFixedSize(150, 90);
    frames->addWidget(plain);
    layout->addLayout(frames);

    layout->addWidget(heading(
        QStringLiteral("VelkXpButton: normal, hovered, focused, pressed, disabled, default"),
        this));
    auto* xpButtons = new QHBoxLayout;
    const QString states[] = {QStringLiteral("&Normal"),   QStringLiteral("&Hovered"),
                              QStringLiteral("&Focused"),  QStringLiteral("&Pressed"),
                              QStringLiteral("&Disabled"), QStringLiteral("D&efault")};
    VelkXpButton* made[6] = {};
    for (int i = 0; i < 6; ++i) {
        made[i] = new VelkXpButton(this);
        made[i]->setCaption(states[i]);
        made[i]->setForeHover(WinColor::Rgb(0, 0, 160));
        made[i]->setFixedSize(90, 26);
        xpButtons->addWidget(made[i]);
    }
    made[4]->setEnabled(false);
    m_hovered = made[1];
    m_focused = made[2];
    m_pressed = made[3];
    xpButtons->addStretch();
    layout->addLayout(xpButtons);
    layout->addStretch();
    made[5]->setDefault(true);
    showStates();
}

void ControlGallery::showStates() {
    // Set outright: events made up here would be undone by the real pointer and focus.
    m_hovered->setShownLook(VelkXpLook::Look::Hovered);
    m_focused->setShownLook(VelkXpLook::Look::Focused);
    m_pressed->setShownLook(VelkXpLook::Look::Pressed);
}
