#pragma once

#include "countingmode.h"

#include <QObject>

class QComboBox;
class QWidget;

// The combo box that chooses the counting mode of the next run. It offers "classic counting"
// and "strict counting", starts on the mode stored in the settings and stores every choice of
// the user. Opening a folder sets it to the folder's mode (FolderMode), which the user may
// change; a folder whose results mix the modes leaves it as it is.
// It is enabled exactly when `follow` (the run's other choice) is, so it cannot change during a
// run.
class CountingModeBox : public QObject
{
    Q_OBJECT
public:
    CountingModeBox(QComboBox* box, QWidget* follow, QObject* parent = nullptr);

    CountingMode mode() const;
    void followFolder(const QString& directory);

    static CountingMode storedMode();
    static void storeMode(CountingMode mode);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QComboBox* box;
    QWidget* follow;
    QString followedDirectory;
    bool followingFolder = false; // the folder's choice is not the user's: it is not stored
};
