#pragma once

#include "controls/WinColor.h"

#include <QImage>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <QWidget>
#include <functional>

class QPainter;

/// An owner-drawn panel with rounded corners, an angled gradient background, an optional
/// gradient header carrying a caption and an icon, and a one-pixel border.
///
/// Mouse events carry the classic codes: buttons 1 left, 2 right, 4 middle; shift 1 Shift,
/// 2 Ctrl, 4 Alt; x, y in pixels. Everything is painted on the device pixel grid.
class XPFrame final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(XPFrame)

    // Design data, in the order it is written.
    Q_PROPERTY(int HeaderAngle READ HeaderAngle WRITE setHeaderAngle)
    Q_PROPERTY(int BackAngle READ BackAngle WRITE setBackAngle)
    Q_PROPERTY(uint HeaderLightColor READ HeaderLightColor WRITE setHeaderLightColor)
    Q_PROPERTY(uint HeaderDarkColor READ HeaderDarkColor WRITE setHeaderDarkColor)
    Q_PROPERTY(uint BackLightColor READ BackLightColor WRITE setBackLightColor)
    Q_PROPERTY(uint BackDarkColor READ BackDarkColor WRITE setBackDarkColor)
    Q_PROPERTY(uint BorderColor READ BorderColor WRITE setBorderColor)
    Q_PROPERTY(uint TextColor READ TextColor WRITE setTextColor)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(int Style READ Style WRITE setStyle)
    Q_PROPERTY(int CaptionAlignment READ CaptionAlignment WRITE setCaptionAlignment)
    Q_PROPERTY(int HeaderHeight READ HeaderHeight WRITE setHeaderHeight)
    Q_PROPERTY(QFont HeaderFont READ HeaderFont WRITE setHeaderFont)
    Q_PROPERTY(int Curvature READ Curvature WRITE setCurvature)
    Q_PROPERTY(QVariant IconResID READ IconResID WRITE setIconResID)

public:
    /// Error number and text raised when IconResID names no icon of the program.
    static constexpr int IconNotFound = 1000;
    static constexpr const char* IconNotFoundText =
        "Resource ID not found or resource file not compiled";

    /// Finds the icon for a resource identifier; a null image when there is none. The program's
    /// own icons are the Qt resources ":/frame-icons/<id>".
    using IconLoader = std::function<QImage(const QVariant& id)>;
    /// Replaces the icon lookup (tests); an empty function restores the resource lookup. Returns
    /// the lookup installed before.
    static IconLoader SetIconLoader(IconLoader loader);

    /// A frame as newly placed, with every property at its default.
    explicit XPFrame(QWidget* parent = nullptr);

    int HeaderAngle() const { return m_HeaderAngle; }
    int BackAngle() const { return m_BackAngle; }
    WinColor::Value HeaderLightColor() const { return m_HeaderLightColor; }
    WinColor::Value HeaderDarkColor() const { return m_HeaderDarkColor; }
    WinColor::Value BackLightColor() const { return m_BackLightColor; }
    WinColor::Value BackDarkColor() const { return m_BackDarkColor; }
    WinColor::Value BorderColor() const { return m_BorderColor; }
    WinColor::Value TextColor() const { return m_TextColor; }
    QString Caption() const { return m_Caption; }
    int Style() const { return m_Style; }
    int CaptionAlignment() const { return m_CaptionAlignment; }
    int HeaderHeight() const { return m_HeaderHeight; }
    /// The caption's font is the widget's font.
    QFont HeaderFont() const { return font(); }
    int Curvature() const { return m_Curvature; }
    QVariant IconResID() const { return m_IconResID; }

    /// Direction of the header gradient in degrees, counter-clockwise from left-to-right.
    void setHeaderAngle(int degrees);
    void setBackAngle(int degrees);
    void setHeaderLightColor(WinColor::Value colour);
    void setHeaderDarkColor(WinColor::Value colour);
    void setBackLightColor(WinColor::Value colour);
    void setBackDarkColor(WinColor::Value colour);
    void setBorderColor(WinColor::Value colour);
    void setTextColor(WinColor::Value colour);
    void setCaption(const QString& caption);
    /// 0 draws the header; any other value only the background and the border.
    void setStyle(int style);
    /// 0 left, 1 right, 2 centred.
    void setCaptionAlignment(int alignment);
    void setHeaderHeight(int pixels);
    void setHeaderFont(const QFont& headerFont) { setFont(headerFont); }
    /// Corner rounding in pixels; a negative value draws square corners.
    void setCurvature(int pixels);
    /// 0 removes the header icon; another identifier loads that icon. An identifier without an
    /// icon throws ControlError 1000 and keeps the previous icon and drawing.
    void setIconResID(const QVariant& id);

    /// Design data: the properties that differ from their defaults, keyed by property name.
    QVariantMap writeProperties() const;
    /// Loads design data written by writeProperties; missing keys take their defaults.
    /// Throws ControlError 1000 when the data names an icon the program does not have.
    void readProperties(const QVariantMap& values);

    /// Fills (0, 0, width, height) with a gradient from `second` to `first` along `degrees`,
    /// on the painter's device pixels.
    void DrawGradient(QPainter& painter, int width, int height, WinColor::Value first,
                      WinColor::Value second, int degrees) const;

    /// The icon the header shows; null when none.
    QImage icon() const { return m_icon; }

    QSize sizeHint() const override;

signals:
    /// Any property was set (design data needs rewriting).
    void propertyChanged(const QString& name);
    void Click();
    void Resize();
    void MouseDown(int button, int shift, int x, int y);
    void MouseMove(int button, int shift, int x, int y);
    void MouseUp(int button, int shift, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    template <typename T> void store(T& member, const T& value, const char* name);
    void updateMask();

    int m_HeaderAngle = 180;
    int m_BackAngle = 180;
    WinColor::Value m_HeaderLightColor = WinColor::Rgb(211, 224, 247);
    WinColor::Value m_HeaderDarkColor = WinColor::Rgb(167, 197, 237);
    WinColor::Value m_BackLightColor = WinColor::Rgb(239, 244, 252);
    WinColor::Value m_BackDarkColor = WinColor::Rgb(220, 231, 250);
    WinColor::Value m_BorderColor = WinColor::Rgb(173, 193, 220);
    WinColor::Value m_TextColor = WinColor::Rgb(2, 45, 123);
    QString m_Caption = QStringLiteral("XPFrame");
    int m_Style = 0;
    int m_CaptionAlignment = 0;
    int m_HeaderHeight = 25;
    int m_Curvature = 10;
    QVariant m_IconResID = 0;

    QImage m_icon;
    // A left press on the frame whose release inside it is a click.
    bool m_clickArmed = false;
};
