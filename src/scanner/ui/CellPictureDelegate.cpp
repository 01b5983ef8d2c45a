#include "scanner/ui/CellPictureDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <memory>

namespace {

QPalette::ColorGroup colorGroupOf(const QStyleOptionViewItem& cell) {
    if (!(cell.state & QStyle::State_Enabled)) {
        return QPalette::Disabled;
    }
    return (cell.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
}

/// Text on the base colour, drawn the same wherever it lands: its picture can be kept.
bool plainCell(const QStyleOptionViewItem& cell, const QPainter& painter) {
    constexpr QStyle::State kLively =
        QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_MouseOver;
    constexpr QStyleOptionViewItem::ViewItemFeatures kDrawn =
        QStyleOptionViewItem::Alternate | QStyleOptionViewItem::HasCheckIndicator |
        QStyleOptionViewItem::HasDecoration;
    const QBrush& base = cell.palette.brush(colorGroupOf(cell), QPalette::Base);
    return !(cell.state & kLively) && !(cell.features & kDrawn) &&
           cell.backgroundBrush.style() == Qt::NoBrush && base.style() == Qt::SolidPattern &&
           base.color().alpha() == 255 &&
           painter.worldTransform().type() <= QTransform::TxTranslate && !cell.rect.isEmpty();
}

} // namespace

size_t qHash(const CellPictureDelegate::Look& look, size_t seed) noexcept {
    return qHashMulti(seed, look.text, look.font, look.size.width(), look.size.height(),
                      look.pixelRatio, look.state, look.alignment, look.elideMode, look.position,
                      look.textColor, look.baseColor);
}

void CellPictureDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QWidget* widget = cell.widget;
    const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    if (!plainCell(cell, *painter)) {
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
        return;
    }
    const QPalette::ColorGroup group = colorGroupOf(cell);
    const QColor base = cell.palette.color(group, QPalette::Base);
    const qreal ratio = painter->device()->devicePixelRatioF();
    Look key;
    key.text = cell.text;
    key.font = cell.font;
    key.size = cell.rect.size();
    key.pixelRatio = ratio;
    key.state = static_cast<int>(cell.state);
    key.alignment = static_cast<int>(cell.displayAlignment);
    key.elideMode = static_cast<int>(cell.textElideMode);
    key.position = static_cast<int>(cell.viewItemPosition);
    key.textColor = cell.palette.color(group, QPalette::Text).rgba();
    key.baseColor = base.rgba();
    if (const QPixmap* picture = m_pictures.object(key)) {
        painter->drawPixmap(cell.rect.topLeft(), *picture);
        return;
    }
    auto picture = std::make_unique<QPixmap>(cell.rect.size() * ratio);
    picture->setDevicePixelRatio(ratio);
    picture->fill(base);
    {
        QPainter cellPainter(picture.get());
        cellPainter.setRenderHints(painter->renderHints());
        QStyleOptionViewItem placed = cell;
        placed.rect.moveTo(0, 0);
        style->drawControl(QStyle::CE_ItemViewItem, &placed, &cellPainter, widget);
    }
    painter->drawPixmap(cell.rect.topLeft(), *picture);
    const qsizetype kilobytes = 1 + picture->width() * picture->height() * 4 / 1024;
    m_pictures.insert(std::move(key), picture.release(), kilobytes);
}
