#pragma once

#include "picturesaving.h"

#include <QObject>
#include <QString>
#include <opencv2/core.hpp>

class QPushButton;
class QWidget;

// The "Save image" toggle (the window forwards its button's clicks to toggle()): the first press
// asks for a file and switches saving on, the next switches it off; while on, every new picture
// shown is written (PictureSaving does the work). What happens is told through message(), a failure
// once.
class SaveImageControl : public QObject
{
    Q_OBJECT
public:
    SaveImageControl(QPushButton* button, QWidget* dialogParent);

    // A new picture is on screen (as shown, BGR).
    void pictureShown(const cv::Mat& picture);
    // The button was pressed.
    void toggle();

signals:
    void message(const QString& text);

private:
    void showState();

    QPushButton* button;
    QWidget* dialogParent;
    PictureSaving saving;
    cv::Mat lastPicture; // written at once when saving is switched on
};
