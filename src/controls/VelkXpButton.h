#pragma once

#include "controls/VelkXpLook.h"
#include "controls/WinColor.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QVariantMap>
#include <QWidget>
#include <functional>
#include <optional>

class QShortcut;

/// An owner-drawn push button in a fixed light-grey, blue-bordered look with an orange hover
/// frame and a blue focus frame. It notices the pointer leaving by polling, not by capture.
///
/// Events carry the classic codes: mouse buttons 1 left, 2 right, 4 middle; shift 1 Shift,
/// 2 Ctrl, 4 Alt; x, y in pixels; key codes are virtual-key codes. There is no double-click
/// event: the second press of a double click is an ordinary press.
class VelkXpButton final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VelkXpButton)

    // Design data, in the order it is written.
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(QFont Font READ font WRITE setFont)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(uint ForeColor READ ForeColor WRITE setForeColor)
    Q_PROPERTY(uint ForeHover READ ForeHover WRITE setForeHover)

public:
    /// How often the hover poll looks for the pointer, in milliseconds.
    static constexpr int HoverInterval = 50;

    /// Answers whether the pointer is over the button.
    using PointerProbe = std::function<bool()>;

    explicit VelkXpButton(QWidget* parent = nullptr);

    /// Until it is set, the caption is the design name (the object name) and follows it.
    QString Caption() const { return m_Caption; }
    WinColor::Value ForeColor() const { return m_ForeColor; }
    WinColor::Value ForeHover() const { return m_ForeHover; }

    /// The caption; "&" marks the access key, which clicks the button.
    void setCaption(const QString& caption);
    void setForeColor(WinColor::Value colour);
    void setForeHover(WinColor::Value colour);

    /// Design data: the properties that differ from their defaults, keyed by property name.
    QVariantMap writeProperties() const;
    /// Loads design data written by writeProperties; missing keys take their defaults.
    void readProperties(const QVariantMap& values);

    /// Replaces the test for the pointer being over the button (the window under the cursor is
    /// this one); an empty probe restores it.
    void setPointerProbe(PointerProbe probe);

    /// One tick of the hover poll: once the pointer has left, the hover ends, the poll stops
    /// and MouseLeave is raised.
    void HoverTimer_Timer();
    bool hoverPolling() const { return m_HoverTimer.isActive(); }

    /// Makes this the button Enter clicks in its window, drawn with the default-button outline;
    /// the window's other XP-style buttons stop being its default.
    void setDefault(bool isDefault);
    bool isDefault() const { return m_isDefault; }

    /// Draws `look` whatever the pointer and the keys do, as a sample in a gallery or a
    /// picture; none draws the button's own state again.
    void setShownLook(std::optional<VelkXpLook::Look> look);

    /// The look the next repaint draws.
    VelkXpLook::Look look() const;

    QSize sizeHint() const override;

signals:
    /// Any property was set (design data needs rewriting).
    void propertyChanged(const QString& name);
    void Click();
    void KeyDown(int keyCode, int shift);
    void KeyPress(int keyAscii);
    void KeyUp(int keyCode, int shift);
    void MouseDown(int button, int shift, int x, int y);
    void MouseMove(int button, int shift, int x, int y);
    void MouseUp(int button, int shift, int x, int y);
    void MouseEnter();
    void MouseLeave();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    /// Enter that no widget of the window took clicks the default button.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    template <typename T> void store(T& member, const T& value, const char* name);
    QVariantMap defaultProperties() const;
    bool underPointer() const;
    /// Ends a hover at once (hidden, disabled): stops the poll, lets the button go and raises
    /// MouseLeave for a hover that raised MouseEnter.
    void endHover();
    void accessKey();
    void designNameChanged(const QString& name);
    /// Watches the window the button is in now for an Enter to answer as its default button.
    void watchWindow();

    QString m_Caption;
    // The object name the caption follows while they are equal.
    QString m_designName;
    WinColor::Value m_ForeColor = WinColor::System(18);
    WinColor::Value m_ForeHover = WinColor::System(18);

    bool m_isHovered = false;
    // MouseEnter was raised for the current hover, so its end raises MouseLeave.
    bool m_enterRaised = false;
    bool m_hasFocus = false;
    bool m_isDefault = false;
    std::optional<VelkXpLook::Look> m_shownLook;
    QPointer<QWidget> m_watchedWindow;
    bool m_isPressed = false;
    // A left press on the button: its release over the button is a click.
    bool m_clickArmed = false;
    int m_lastButton = 0;
    int m_lastKey = 0;
    QTimer m_HoverTimer{this};
    QShortcut* m_accessKey = nullptr;
    PointerProbe m_probe;
};
