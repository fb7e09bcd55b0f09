#include "importwindow.h"

ImportWindow::ImportWindow(const QString& destination, QWidget* parent) : QDialog(parent)
{
    Q_UNUSED(destination);
    setWindowTitle(tr("Import"));
}

void ImportWindow::runModal(const QString& destination)
{
    ImportWindow dialog(destination);
    dialog.exec();
}
