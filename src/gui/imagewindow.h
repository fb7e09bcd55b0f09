#pragma once

#include <QImage>
#include <QLabel>
#include <QPoint>
#include <QSize>
#include <QString>

// A top-level pop-up that shows one picture (the trajectory density map), titled after the
// window it belongs to. The whole picture is always shown: at full size where it fits the
// screen's available area, otherwise scaled down to fit, keeping its aspect ratio. Mouse
// positions are reported in the picture's own pixels either way.
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

private:
    QSize fittedSize(QSize image) const;
    QPoint toImage(QPoint windowPos) const;

    QSize imageSize; // of the last picture
    QSize shownSize; // what it was scaled to
};
