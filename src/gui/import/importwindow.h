#pragma once

#include <QDialog>
#include <QString>

// The import dialog: copies the recordings of a chosen folder into the working directory.
class ImportWindow : public QDialog
{
    Q_OBJECT
public:
    explicit ImportWindow(const QString& destination, QWidget* parent = nullptr);

    // Shows the dialog modally for `destination` and returns once it has closed. The dialog
    // itself stays alive until its last import has finished.
    static void runModal(const QString& destination);
};
