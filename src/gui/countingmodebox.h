#pragma once

#include "countingmode.h"

#include <QObject>

class QComboBox;
class QWidget;

// The combo box that chooses the counting mode of the next run. It offers "classic counting"
// and "strict counting", starts on the mode stored in the settings and stores every choice.
// It is enabled exactly when `follow` (the run's other choice) is, so it cannot change during a
// run.
class CountingModeBox : public QObject
{
    Q_OBJECT
public:
    CountingModeBox(QComboBox* box, QWidget* follow, QObject* parent = nullptr);

    CountingMode mode() const;

    static CountingMode storedMode();
    static void storeMode(CountingMode mode);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QComboBox* box;
    QWidget* follow;
};
