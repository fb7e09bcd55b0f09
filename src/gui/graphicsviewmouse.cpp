#include "graphicsviewmouse.h"

#include <algorithm>

GraphicsViewMouse::GraphicsViewMouse(QWidget* parent) : QGraphicsView(parent) {}

QMouseEvent GraphicsViewMouse::sceneEvent(const QMouseEvent* e) const
{
    QPointF scenePos = mapToScene(e->localPos().toPoint());
    scenePos.setX(std::max(0.0, scenePos.x()));
    scenePos.setY(std::max(0.0, scenePos.y()));
    return QMouseEvent(e->type(), scenePos, e->button(), e->buttons(), e->modifiers());
}

// The base view's own handling is deliberately skipped: the view is not interactive.
void GraphicsViewMouse::mousePressEvent(QMouseEvent* e)
{
    QMouseEvent event = sceneEvent(e);
    emit sendMousePressVideo(&event);
}

void GraphicsViewMouse::mouseDoubleClickEvent(QMouseEvent* e)
{
    QMouseEvent event = sceneEvent(e);
    emit sendMouseBClickVideo(&event);
}

void GraphicsViewMouse::mouseMoveEvent(QMouseEvent* e)
{
    QMouseEvent event = sceneEvent(e);
    emit sendMouseMoveVideo(&event);
}
