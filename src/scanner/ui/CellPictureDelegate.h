#pragma once

#include <QCache>
#include <QFont>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStyledItemDelegate>

/// Paints the cells of an item view exactly as the style paints them, and keeps the picture of
/// each plain cell (text on the base colour: not selected, focused or hovered, no icon) while its
/// text, size and look stay the same. A list that gains rows while it is watched is repainted
/// often, and laying out and eliding every visible cell's text again each time costs more than the
/// rest of the window.
class CellPictureDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    /// Pictures kept at the moment (tests).
    int keptPictures() const { return m_pictures.count(); }

private:
    /// What a plain cell's picture depends on.
    struct Look {
        QString text;
        QFont font;
        QSize size;
        qreal pixelRatio = 1;
        int state = 0;
        int alignment = 0;
        int elideMode = 0;
        int position = 0; ///< of the cell in its row
        QRgb textColor = 0;
        QRgb baseColor = 0;
        bool operator==(const Look&) const = default;
    };
    friend size_t qHash(const Look& look, size_t seed) noexcept;

    /// Kilobytes of pictures kept; the least recently used go first.
    static constexpr int kKeptKilobytes = 4096;
    mutable QCache<Look, QPixmap> m_pictures{kKeptKilobytes};
};
