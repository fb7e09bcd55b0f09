#pragma once

#include <QGraphicsView>
#include <QMouseEvent>

// The video view: re-emits mouse presses, double clicks and moves with their position in scene
// coordinates (never negative). The event passed lives only during the emission, so receivers
// must be connected directly and must not keep the pointer.
class GraphicsViewMouse : public QGraphicsView
{
    Q_OBJECT
public:
    explicit GraphicsViewMouse(QWidget* parent = nullptr);

signals:
    void sendMousePressVideo(QMouseEvent* e);
    void sendMouseBClickVideo(QMouseEvent* e);
    void sendMouseMoveVideo(QMouseEvent* e);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    QMouseEvent sceneEvent(const QMouseEvent* e) const;
};
