#include "mapedit/maparea.h"

#include "model/project.h"

#include <QEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace kestrune {

TMapArea::TMapArea(Project& project, QWidget* parent)
    : QScrollArea(parent), canvas_(new QWidget), view_(new TMapView(project, canvas_))
{
    setFrameShape(QFrame::NoFrame);
    setBackgroundRole(QPalette::Button);
    canvas_->setBackgroundRole(QPalette::Button);
    canvas_->setAutoFillBackground(true);
    setWidget(canvas_);
    setWidgetResizable(false);
    view_->installEventFilter(this);
    canvas_->installEventFilter(this);
}

void TMapArea::ShowMap(TMap* map)
{
    if (TMap* old = view_->Map()) {
        old->ScrollV = verticalScrollBar()->value();
        old->ScrollH = horizontalScrollBar()->value();
    }
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    view_->ShowMap(map);
    LayoutView();
    if (map) {
        verticalScrollBar()->setValue(map->ScrollV);
        horizontalScrollBar()->setValue(map->ScrollH);
    }
    RepaintAll();
}

QSize TMapArea::ScrollRange() const
{
    const QSize client = viewport()->size();
    const QSize box = view_->size();
    return {std::max(box.width() + 20, client.width()), std::max(box.height() + 20, client.height())};
}

QPoint TMapArea::BoxPosition() const
{
    const QSize client = viewport()->size();
    const QSize box = view_->size();
    const int left = box.width() < client.width() - 20 ? (client.width() - box.width()) / 2 : 10;
    const int top = box.height() < client.height() - 20 ? (client.height() - box.height()) / 2 : 10;
    return {left, top};
}

void TMapArea::LayoutView()
{
    view_->LayoutView();
    canvas_->resize(ScrollRange());
    view_->move(BoxPosition());
}

void TMapArea::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    LayoutView();
}

void TMapArea::HoldRepaint() { ++hold_; }

void TMapArea::ReleaseRepaint()
{
    if (hold_ > 0 && --hold_ == 0 && due_) {
        due_ = false;
        view_->RepaintAll();
    }
}

void TMapArea::RepaintAll()
{
    if (hold_ > 0) {
        due_ = true;
        return;
    }
    view_->RepaintAll();
}

void TMapArea::RepaintCell(int x, int y)
{
    if (hold_ > 0) {
        due_ = true;
        return;
    }
    view_->RepaintCell(x, y);
}

void TMapArea::RepaintPixels(const QRegion& pixels)
{
    if (hold_ > 0) {
        due_ = true;
        return;
    }
    view_->update(pixels);
}

void TMapArea::StartPan(const QPoint& at) { panAnchor_ = at; }

void TMapArea::PanTo(const QPoint& at)
{
    QScrollBar* v = verticalScrollBar();
    QScrollBar* h = horizontalScrollBar();
    v->setValue(std::clamp(v->value() + (panAnchor_.y() - at.y()), v->minimum(), v->maximum()));
    h->setValue(std::clamp(h->value() + (panAnchor_.x() - at.x()), h->minimum(), h->maximum()));
}

void TMapArea::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta != 0 && OnWheelStep)
        OnWheelStep(delta < 0 ? 1 : -1);
    event->accept(); // the wheel neither zooms nor scrolls the view
}

bool TMapArea::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == canvas_ && event->type() == QEvent::MouseButtonPress) {
        if (OnBackgroundPress)
            OnBackgroundPress();
        return true;
    }
    if (watched == view_) {
        if (event->type() == QEvent::MouseButtonPress) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::MiddleButton) {
                StartPan(mouse->position().toPoint());
                return true;
            }
        } else if (event->type() == QEvent::MouseMove) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->buttons() & Qt::MiddleButton) {
                PanTo(mouse->position().toPoint());
                return true;
            }
        } else if (event->type() == QEvent::Wheel) {
            wheelEvent(static_cast<QWheelEvent*>(event));
            return true;
        }
    }
    return QScrollArea::eventFilter(watched, event);
}

} // namespace kestrune
