#pragma once

#include "controls/ProgressBarLook.h"
#include "controls/WinColor.h"

#include <QString>
#include <QVariantMap>
#include <QWidget>

class QPainter;
class QPainterPath;

/// The owner-drawn progress bar: rounded corners, two-band gradients for the empty and the
/// filled part, ten colour themes and an optional text with an effect.
class ProgressBar final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgressBar)

    // Design data, in the order it is written.
    Q_PROPERTY(int Orientations READ Orientations WRITE setOrientations)
    Q_PROPERTY(int Max READ Max WRITE setMax)
    Q_PROPERTY(int Min READ Min WRITE setMin)
    Q_PROPERTY(int Value READ Value WRITE setValue)
    Q_PROPERTY(int RoundedValue READ RoundedValue WRITE setRoundedValue)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(int Theme READ Theme WRITE setTheme)
    Q_PROPERTY(int TextStyle READ TextStyle WRITE setTextStyle)
    Q_PROPERTY(QFont TextFont READ TextFont WRITE setTextFont)
    Q_PROPERTY(uint TextForeColor READ TextForeColor WRITE setTextForeColor)
    Q_PROPERTY(int TextAlignment READ TextAlignment WRITE setTextAlignment)
    Q_PROPERTY(QString Text READ Text WRITE setText)
    Q_PROPERTY(uint TextEffectColor READ TextEffectColor WRITE setTextEffectColor)
    Q_PROPERTY(int TextEffect READ TextEffect WRITE setTextEffect)
    Q_PROPERTY(uint PBSCustomeColor2 READ PBSCustomeColor2 WRITE setPBSCustomeColor2)
    Q_PROPERTY(uint PBSCustomeColor1 READ PBSCustomeColor1 WRITE setPBSCustomeColor1)

public:
    /// A bar as newly placed: theme 1, half full, showing its Text with a shadow effect.
    explicit ProgressBar(QWidget* parent = nullptr);

    int Orientations() const { return m_Orientations; }
    int Max() const { return m_range.max; }
    int Min() const { return m_range.min; }
    int Value() const { return m_range.value; }
    int RoundedValue() const { return m_RoundedValue; }
    int Theme() const { return m_Theme; }
    int TextStyle() const { return m_TextStyle; }
    /// The text's font is the widget's font.
    QFont TextFont() const { return font(); }
    WinColor::Value TextForeColor() const { return m_TextForeColor; }
    int TextAlignment() const { return m_TextAlignment; }
    QString Text() const { return m_Text; }
    WinColor::Value TextEffectColor() const { return m_TextEffectColor; }
    int TextEffect() const { return m_TextEffect; }
    WinColor::Value PBSCustomeColor2() const { return m_PBSCustomeColor2; }
    WinColor::Value PBSCustomeColor1() const { return m_PBSCustomeColor1; }

    /// 1 fills left to right, 2 top to bottom.
    void setOrientations(int orientations);
    /// At least 1 and above Min; a Value above it is lowered.
    void setMax(int max);
    /// At least 0 and below Max; a Value below it is raised.
    void setMin(int min);
    /// Kept within Min..Max.
    void setValue(int value);
    /// Width and height of the corner ellipse in pixels.
    void setRoundedValue(int rounded);
    void setTheme(int theme);
    /// 1 Value, 2 percentage, 3 Text, anything else no text.
    void setTextStyle(int style);
    void setTextFont(const QFont& textFont) { setFont(textFont); }
    void setTextForeColor(WinColor::Value colour);
    /// 1..9 counted down the columns: left top, left middle, left bottom, centre top, ...
    void setTextAlignment(int alignment);
    void setText(const QString& text);
    void setTextEffectColor(WinColor::Value colour);
    /// 1 plain, 2..5 with an effect in TextEffectColor.
    void setTextEffect(int effect);
    /// Base colour of the empty part for theme 10.
    void setPBSCustomeColor2(WinColor::Value colour);
    /// Base colour of the filled part and the border for theme 10.
    void setPBSCustomeColor1(WinColor::Value colour);

    /// Design data: the properties that differ from their defaults, keyed by property name;
    /// TextFont and TextEffectColor have no default and are always written.
    QVariantMap writeProperties() const;
    /// Loads design data written by writeProperties; missing keys take their defaults.
    void readProperties(const QVariantMap& values);

    /// Fills the rectangle with a gradient from `start` at (left, top) to `end` at (right,
    /// bottom): direction 0 changes along x, 1 along y.
    void GradientTwoColour(QPainter& painter, int direction, WinColor::Value start,
                           WinColor::Value end, int left, int top, int right, int bottom) const;
    /// Fills the rectangle by bilinear interpolation between its four corner colours.
    void DrawGradientFourColour(QPainter& painter, int left, int top, int width, int height,
                                WinColor::Value topLeft, WinColor::Value topRight,
                                WinColor::Value bottomLeft, WinColor::Value bottomRight) const;

    QSize sizeHint() const override;

signals:
    /// Any property was set (design data needs rewriting).
    void propertyChanged(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    template <typename T> void store(T& member, const T& value, const char* name);
    void setRange(ProgressBarLook::Range range, const char* name);
    void updateMask();
    QPainterPath outlinePath() const;

    int m_Orientations = 1;
    ProgressBarLook::Range m_range;
    int m_RoundedValue = 5;
    int m_Theme = 1;
    int m_TextStyle = 3;
    WinColor::Value m_TextForeColor = WinColor::Rgb(0, 0, 0);
    int m_TextAlignment = 5;
    QString m_Text = QStringLiteral("Varnek ProgressBar");
    WinColor::Value m_TextEffectColor = WinColor::Rgb(255, 255, 255);
    int m_TextEffect = 5;
    WinColor::Value m_PBSCustomeColor2 = WinColor::Rgb(0, 0, 0);
    WinColor::Value m_PBSCustomeColor1 = WinColor::Rgb(0, 0, 0);

    // Rebuilt from the theme at every repaint; an unknown theme keeps the last one (all black
    // before the first).
    ProgressBarLook::ColourTable m_colours{};
};
