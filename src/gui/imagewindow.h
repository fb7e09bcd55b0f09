#pragma once

#include <QImage>
#include <QLabel>
#include <QPoint>
#include <QString>

// A top-level pop-up that shows one picture (the trajectory density map), titled after the
// window it belongs to.
class ImageWindow : public QLabel
{
    Q_OBJECT
public:
    ImageWindow(QWidget* source, const QString& title);

signals:
    void mouseMoved(QPoint pos);

public slots:
    void showImage(QImage image);
    void showToolTip(QPoint pos, QString text);

protected:
    void mouseMoveEvent(QMouseEvent* e) override;
};
