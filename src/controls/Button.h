#pragma once

#include "controls/ButtonInputState.h"
#include "controls/ButtonLook.h"
#include "controls/WinColor.h"

#include <QPixmap>
#include <QString>
#include <QVariantMap>
#include <QWidget>
#include <functional>

class QDrag;
class QMimeData;
class QPainter;
class QPainterPath;

/// The owner-drawn push button every window of the program uses: it paints itself by style,
/// theme and shape, tracks press, hover and focus itself and can act as a toggle.
///
/// Events are raised as signals with the classic arguments: mouse buttons 1 left, 2 right,
/// 4 middle; shift 1 Shift, 2 Ctrl, 4 Alt; x, y in pixels; key codes are virtual-key codes.
/// Drag and drop passes the host's notifications on (set acceptDrops to get them):
/// OLEDragOver with state 0 enter, 1 leave, 2 over, and OLEDragDrop; the effect is 0 none,
/// 1 copy, 2 move, 4 link. A drag from the button starts with OLEDrag and raises OLEStartDrag,
/// OLESetData for each format the host declared without data once a target asks for it,
/// OLEGiveFeedback whenever the proposed effect changes, and OLECompleteDrag at its end.
class Button final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Button)

    // Design data, in the order it is written.
    Q_PROPERTY(int ButtonShape READ ButtonShape WRITE setButtonShape)
    Q_PROPERTY(int ButtonStyle READ ButtonStyle WRITE setButtonStyle)
    Q_PROPERTY(int ButtonStyleColors READ ButtonStyleColors WRITE setButtonStyleColors)
    Q_PROPERTY(int ButtonTheme READ ButtonTheme WRITE setButtonTheme)
    Q_PROPERTY(int ButtonType READ ButtonType WRITE setButtonType)
    Q_PROPERTY(int CaptionAlignment READ CaptionAlignment WRITE setCaptionAlignment)
    Q_PROPERTY(int CaptionEffect READ CaptionEffect WRITE setCaptionEffect)
    Q_PROPERTY(int CaptionStyle READ CaptionStyle WRITE setCaptionStyle)
    Q_PROPERTY(int DropDown READ DropDown WRITE setDropDown)
    Q_PROPERTY(int PictureAlignment READ PictureAlignment WRITE setPictureAlignment)
    Q_PROPERTY(uint BackColor READ BackColor WRITE setBackColor)
    Q_PROPERTY(uint BackColorPressed READ BackColorPressed WRITE setBackColorPressed)
    Q_PROPERTY(uint BackColorHover READ BackColorHover WRITE setBackColorHover)
    Q_PROPERTY(uint BorderColor READ BorderColor WRITE setBorderColor)
    Q_PROPERTY(uint BorderColorPressed READ BorderColorPressed WRITE setBorderColorPressed)
    Q_PROPERTY(uint BorderColorHover READ BorderColorHover WRITE setBorderColorHover)
    Q_PROPERTY(uint ForeColor READ ForeColor WRITE setForeColor)
    Q_PROPERTY(uint ForeColorPressed READ ForeColorPressed WRITE setForeColorPressed)
    Q_PROPERTY(uint ForeColorHover READ ForeColorHover WRITE setForeColorHover)
    Q_PROPERTY(uint EffectColor READ EffectColor WRITE setEffectColor)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(bool FocusRect READ FocusRect WRITE setFocusRect)
    Q_PROPERTY(bool Value READ Value WRITE setValue)
    Q_PROPERTY(bool HandPointer READ HandPointer WRITE setHandPointer)
    Q_PROPERTY(QPixmap Picture READ Picture WRITE setPicture)
    Q_PROPERTY(bool PictureGray READ PictureGray WRITE setPictureGray)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(QFont Font READ font WRITE setFont)
    Q_PROPERTY(QPixmap MouseIcon READ MouseIcon WRITE setMouseIcon)
    Q_PROPERTY(int MousePointer READ MousePointer WRITE setMousePointer)

public:
    /// A button as newly placed: 1200 by 500 twips, the host's font with the face Tahoma.
    explicit Button(QWidget* parent = nullptr);

    /// The look of every button in the program's windows: style 7, theme 1, Tahoma 8 pt.
    static Button* programButton(QWidget* parent, const QString& caption,
                                 const QString& toolTip = {});

    int ButtonShape() const { return m_ButtonShape; }
    int ButtonStyle() const { return m_ButtonStyle; }
    int ButtonStyleColors() const { return m_ButtonStyleColors; }
    int ButtonTheme() const { return m_ButtonTheme; }
    int ButtonType() const { return m_ButtonType; }
    int CaptionAlignment() const { return m_CaptionAlignment; }
    int CaptionEffect() const { return m_CaptionEffect; }
    int CaptionStyle() const { return m_CaptionStyle; }
    int DropDown() const { return m_DropDown; }
    int PictureAlignment() const { return m_PictureAlignment; }
    WinColor::Value BackColor() const { return m_colours.back; }
    WinColor::Value BackColorPressed() const { return m_colours.backPressed; }
    WinColor::Value BackColorHover() const { return m_colours.backHover; }
    WinColor::Value BorderColor() const { return m_colours.border; }
    WinColor::Value BorderColorPressed() const { return m_colours.borderPressed; }
    WinColor::Value BorderColorHover() const { return m_colours.borderHover; }
    WinColor::Value ForeColor() const { return m_ForeColor; }
    WinColor::Value ForeColorPressed() const { return m_ForeColorPressed; }
    WinColor::Value ForeColorHover() const { return m_ForeColorHover; }
    WinColor::Value EffectColor() const { return m_EffectColor; }
    QString Caption() const { return m_Caption; }
    bool FocusRect() const { return m_FocusRect; }
    bool Value() const { return m_Value; }
    bool HandPointer() const { return m_HandPointer; }
    QPixmap Picture() const { return m_Picture; }
    bool PictureGray() const { return m_PictureGray; }
    QPixmap MouseIcon() const { return m_MouseIcon; }
    int MousePointer() const { return m_MousePointer; }

    void setButtonShape(int shape);
    /// Applies the style's background presets first.
    void setButtonStyle(int style);
    void setButtonStyleColors(int styleColors);
    /// Applies the theme's background and outline presets first (theme 0 keeps the colours).
    void setButtonTheme(int theme);
    void setButtonType(int type);
    void setCaptionAlignment(int alignment);
    void setCaptionEffect(int effect);
    void setCaptionStyle(int style);
    void setDropDown(int dropDown);
    void setPictureAlignment(int alignment);
    void setBackColor(WinColor::Value colour);
    void setBackColorPressed(WinColor::Value colour);
    void setBackColorHover(WinColor::Value colour);
    void setBorderColor(WinColor::Value colour);
    void setBorderColorPressed(WinColor::Value colour);
    void setBorderColorHover(WinColor::Value colour);
    void setForeColor(WinColor::Value colour);
    void setForeColorPressed(WinColor::Value colour);
    void setForeColorHover(WinColor::Value colour);
    void setEffectColor(WinColor::Value colour);
    void setCaption(const QString& caption);
    void setFocusRect(bool focusRect);
    /// The toggle state; a toggle button (ButtonType 1) shows it at once.
    void setValue(bool value);
    void setHandPointer(bool handPointer);
    void setPicture(const QPixmap& picture);
    void setPictureGray(bool gray);
    void setMouseIcon(const QPixmap& icon);
    /// Pointer kind: 0 default, 1 arrow, 2 cross, 3 I-beam, 5/15 size all, 6 NE-SW, 7 N-S,
    /// 8 NW-SE, 9 W-E, 10 up arrow, 11 wait, 12 no drop, 13 arrow and wait, 14 help,
    /// 99 MouseIcon.
    void setMousePointer(int pointer);

    /// Design data: the properties that differ from their defaults, keyed by property name.
    QVariantMap writeProperties() const;
    /// Loads design data written by writeProperties; missing keys take their defaults.
    void readProperties(const QVariantMap& values);

    /// Repaints at once.
    void Refresh();

    /// Starts a drag from the button and returns when it has ended.
    void OLEDrag();
    /// Runs a prepared drag with the allowed actions and returns the action taken; the default
    /// runs the window system's drag loop.
    using DragRunner = std::function<Qt::DropAction(QDrag& drag, Qt::DropActions allowed)>;
    /// Replaces the drag loop (tests); an empty function restores it.
    static void SetDragRunner(DragRunner runner);

    /// What painting on the button draws on, the counterpart of a device context.
    QPaintDevice* hDC() { return this; }
    /// The button's native window handle; asking for it gives the button a native window.
    quintptr hwnd() const { return static_cast<quintptr>(winId()); }

    /// The state the next repaint draws: pressed, hovered, enabled.
    ButtonLook::State lookState() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    /// Any property was set (design data needs rewriting).
    void propertyChanged(const QString& name);
    void Click();
    void DblClick();
    void KeyDown(int keyCode, int shift);
    void KeyPress(int keyAscii);
    void KeyUp(int keyCode, int shift);
    void MouseDown(int button, int shift, int x, int y);
    void MouseMove(int button, int shift, int x, int y);
    void MouseUp(int button, int shift, int x, int y);
    void OLEDragDrop(const QMimeData* data, int effect, int button, int shift, int x, int y);
    void OLEDragOver(const QMimeData* data, int effect, int button, int shift, int x, int y,
                     int state);
    /// A drag begins: the host puts its data or declares formats (empty data) and may narrow
    /// the allowed effects (copy and move to begin with); none left cancels the drag.
    void OLEStartDrag(QMimeData* data, int* allowedEffects);
    /// A drop target asks for a format the host declared without data: set it now.
    void OLESetData(QMimeData* data, const QString& format);
    /// The effect the target proposes changed; the toolkit's drag cursors are always used.
    void OLEGiveFeedback(int effect, bool defaultCursors);
    /// The drag ended with this effect (0 when nothing was dropped).
    void OLECompleteDrag(int effect);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    template <typename T> void store(T& member, const T& value, const char* name);
    QVariantMap defaultProperties() const;
    /// Brings the state up to date before a repaint: a toggle that is on stays down and some
    /// styles impose their outline colours.
    void settle();
    /// Settles the state, sets the pointer and schedules a repaint.
    void refresh();
    void updateCursor();
    /// Keeps the size the shape needs and cuts the window to the shape.
    void updateShape();
    struct CaptionBox {
        ButtonLook::Point at;
        int width = 0;
        int height = 0;
    };
    CaptionBox captionBox() const;
    /// Clicks: a toggle flips its value first.
    void click();
    /// The pointer is over the button or not; repaints when that changes anything.
    void setHovered(bool hovered);
    QPainterPath outlinePath() const;

    void paintBackground(QPainter& painter, ButtonLook::State state) const;
    void paintPicture(QPainter& painter) const;
    void paintCaption(QPainter& painter, ButtonLook::State state) const;
    void paintOutline(QPainter& painter, ButtonLook::State state) const;
    void paintInnerDecoration(QPainter& painter, ButtonLook::State state) const;
    void paintFocusDots(QPainter& painter) const;
    void paintDropDown(QPainter& painter) const;

    int m_ButtonShape = 0;
    int m_ButtonStyle = 1;
    int m_ButtonStyleColors = 1;
    int m_ButtonTheme = 0;
    int m_ButtonType = 0;
    int m_CaptionAlignment = 2;
    int m_CaptionEffect = 0;
    int m_CaptionStyle = 0;
    int m_DropDown = 0;
    int m_PictureAlignment = 2;
    ButtonLook::Colours m_colours;
    WinColor::Value m_ForeColor = WinColor::Rgb(0, 0, 0);
    WinColor::Value m_ForeColorPressed = WinColor::Rgb(255, 0, 0);
    WinColor::Value m_ForeColorHover = WinColor::Rgb(0, 0, 255);
    WinColor::Value m_EffectColor = WinColor::Rgb(255, 255, 255);
    QString m_Caption;
    bool m_FocusRect = true;
    bool m_Value = false;
    bool m_HandPointer = false;
    QPixmap m_Picture;
    bool m_PictureGray = false;
    QPixmap m_MouseIcon;
    int m_MousePointer = 0;

    ButtonInputState m_input;
};
