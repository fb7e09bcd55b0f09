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

    // The largest picture shown whole: the screen's available area less the window frame.
    QSize availableArea() const;

signals:
    void mouseMoved(QPoint pos);

public slots:
    void showImage(QImage image);
    // A picture already fitted to availableArea() (by a run's worker), of a picture of size
    // `original`, to which mouse positions refer.
    void showFitted(const QImage& shown, QSize original);
    void showToolTip(QPoint pos, QString text);

protected:
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    QSize fittedSize(QSize image) const;
    QPoint toImage(QPoint windowPos) const;

    QSize imageSize; // of the last picture
    QSize shownSize; // what it was scaled to
};
