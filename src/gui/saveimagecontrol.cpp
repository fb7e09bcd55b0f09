#include "saveimagecontrol.h"

#include <QFileDialog>
#include <QPushButton>

SaveImageControl::SaveImageControl(QPushButton* button, QWidget* dialogParent)
    : QObject(button), button(button), dialogParent(dialogParent)
{
    button->setCheckable(true);
}

void SaveImageControl::pictureShown(const cv::Mat& picture)
{
    picture.copyTo(lastPicture);
    const QString problem = saving.write(picture);
    if (!problem.isEmpty())
        emit message(problem);
}

// A cancelled chooser leaves saving off.
void SaveImageControl::toggle()
{
    if (saving.isOn()) {
        saving.stop();
        showState();
        emit message(tr("Stopped saving images."));
        return;
    }
    const QString file = QFileDialog::getSaveFileName(dialogParent, tr("Save image as"), QString(),
                                                      tr("JPEG image (*.jpg *.jpeg)"));
    if (!file.isEmpty()) {
        saving.start(PictureSaving::withJpegSuffix(file));
        emit message(tr("Saving each new picture to %1").arg(saving.file()));
        pictureShown(lastPicture);
    }
    showState();
}

void SaveImageControl::showState()
{
    button->setChecked(saving.isOn());
    button->setText(saving.isOn() ? tr("Stop saving") : tr("Save image"));
}
