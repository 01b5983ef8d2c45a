#include "controls/Button.h"
#include "controls/InputCodes.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>

namespace {

using InputCodes::buttonCode;
using InputCodes::effectCode;
using InputCodes::shiftCode;

Button::DragRunner& dragRunner() {
    static Button::DragRunner runner;
    return runner;
}

// Data of a drag from the button. A format the host declared with empty data is asked for
// when a target first reads it.
class DragData final : public QMimeData {
public:
    using Supplier = std::function<void(QMimeData& data, const QString& format)>;
    explicit DragData(Supplier supply) : m_supply(std::move(supply)) {}

protected:
    QVariant retrieveData(const QString& format, QMetaType type) const override {
        QVariant stored = QMimeData::retrieveData(format, type);
        if (!m_supplying && formats().contains(format) && stored.toByteArray().isEmpty()) {
            m_supplying = true;
            // Supplying data changes the object a target only reads; the drag owns it.
            m_supply(const_cast<DragData&>(*this), format);
            m_supplying = false;
            stored = QMimeData::retrieveData(format, type);
        }
        return stored;
    }

private:
    Supplier m_supply;
    mutable bool m_supplying = false;
};

// Accepts a drag that enters (state 0) or moves over (state 2) the button and passes it on.
void acceptDragOver(Button& button, QDragMoveEvent& event, int state) {
    event.acceptProposedAction();
    const QPoint at = event.position().toPoint();
    emit button.OLEDragOver(event.mimeData(), effectCode(event.dropAction()),
                            buttonCode(event.buttons()), shiftCode(event.modifiers()), at.x(),
                            at.y(), state);
}

} // namespace

void Button::SetDragRunner(DragRunner runner) {
    dragRunner() = std::move(runner);
}

void Button::OLEDrag() {
    auto* data = new DragData(
        [this](QMimeData& mime, const QString& format) { emit OLESetData(&mime, format); });
    int allowed = InputCodes::effectCodes(Qt::CopyAction | Qt::MoveAction);
    emit OLEStartDrag(data, &allowed);
    const Qt::DropActions actions = InputCodes::dropActions(allowed);
    if (allowed == 0 || actions.toInt() == 0) {
        delete data;
        return;
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    connect(drag, &QDrag::actionChanged, this,
            [this](Qt::DropAction action) { emit OLEGiveFeedback(effectCode(action), true); });
    Qt::DropAction result = Qt::IgnoreAction;
    if (dragRunner()) {
        result = dragRunner()(*drag, actions);
        drag->deleteLater();
    } else {
        result = drag->exec(actions); // the toolkit disposes of the drag
    }
    emit OLECompleteDrag(effectCode(result));
}

void Button::dragEnterEvent(QDragEnterEvent* event) {
    acceptDragOver(*this, *event, 0);
}

void Button::dragMoveEvent(QDragMoveEvent* event) {
    acceptDragOver(*this, *event, 2);
}

void Button::dragLeaveEvent(QDragLeaveEvent* /*event*/) {
    const QPoint at = mapFromGlobal(QCursor::pos());
    emit OLEDragOver(nullptr, 0, buttonCode(QApplication::mouseButtons()),
                     shiftCode(QApplication::keyboardModifiers()), at.x(), at.y(), 1);
}

void Button::dropEvent(QDropEvent* event) {
    event->acceptProposedAction();
    const QPoint at = event->position().toPoint();
    emit OLEDragDrop(event->mimeData(), effectCode(event->dropAction()),
                     buttonCode(event->buttons()), shiftCode(event->modifiers()), at.x(), at.y());
}
