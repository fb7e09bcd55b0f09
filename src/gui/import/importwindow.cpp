#include "importwindow.h"

#include "importlisting.h"
#include "process_import.h"
#include "settingsstore.h"
#include "ui_importwindow.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QSettings>

namespace
{

const QString pathImportKey = QStringLiteral("PathImport");

} // namespace

ImportWindow::ImportWindow(const QString& destination, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::ImportWindow>()), destination(destination)
{
    ui->setupUi(this);
    connect(ui->pb_videofile, &QPushButton::clicked, this, &ImportWindow::set_filename_videofile);
    connect(ui->pb_Import, &QPushButton::clicked, this, &ImportWindow::Import);
    connect(ui->pb_Close, &QPushButton::clicked, this, &ImportWindow::Close);
    for (QProgressBar* bar : {ui->pb_file, ui->pb_Copy, ui->pb_Encode, ui->pb_Save}) {
        bar->setRange(0, 100);
        bar->setValue(0);
    }
    pathImport = openSettings().value(pathImportKey).toString();
    folder = pathImport;
    ui->le_videofile->setText(folder);
    listFiles();
    showFiles();
}

ImportWindow::~ImportWindow() = default;

void ImportWindow::runModal(const QString& destination)
{
    auto* dialog = new ImportWindow(destination);
    connect(qApp, &QCoreApplication::aboutToQuit, dialog, &ImportWindow::finishAtExit);
    dialog->exec();
    dialog->releaseWhenIdle();
}

void ImportWindow::releaseWhenIdle()
{
    released = true;
    if (!importing)
        deleteLater();
}

void ImportWindow::finishAtExit()
{
    files.clear();
    importing = false;
    worker.reset();
    // Deferred deletion no longer happens once the event loop has ended.
    if (released)
        delete this;
}

void ImportWindow::listFiles()
{
    files = ImportListing::recordings(folder);
}

void ImportWindow::showFiles()
{
    ui->lw_filevideo->clear();
    ui->lw_filevideo->addItems(files);
}

void ImportWindow::set_filename_videofile()
{
    QFileDialog chooser(nullptr, QString(), pathImport);
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    chooser.setViewMode(QFileDialog::Detail);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return;
    folder = chooser.selectedFiles().first();
    pathImport = folder;
    openSettings().setValue(pathImportKey, folder);
    ui->le_videofile->setText(folder);
    listFiles();
    showFiles();
}

void ImportWindow::Import()
{
    // One sequence at a time, so no two workers ever import the same file.
    if (importing)
        return;
    listFiles();
    ui->pb_file->setValue(0);
    ui->pb_file->setMaximum(files.size());
    if (files.isEmpty())
        return;
    fileIndex = 0;
    importing = true;
    startNextWorker();
}

void ImportWindow::startNextWorker()
{
    const QString& source = files.at(fileIndex);
    ui->la_currentfile->setText(source);
    // The previous worker has already reported its end, so this waits at most for its return.
    worker = std::make_unique<Process_Import>(destination, source);
    ++fileIndex;
    Process_Import* w = worker.get();
    connect(w, &Process_Import::end_thread, this, &ImportWindow::end_thread, Qt::QueuedConnection);
    connect(w, &Process_Import::copy_pos, this, &ImportWindow::copy_pos, Qt::QueuedConnection);
    connect(w, &Process_Import::save_pos, this, &ImportWindow::save_pos, Qt::QueuedConnection);
    connect(w, &Process_Import::encode_pos, this, &ImportWindow::encode_pos, Qt::QueuedConnection);
    w->start();
}

void ImportWindow::Close()
{
    close();
}

void ImportWindow::end_thread()
{
    ui->pb_file->setValue(fileIndex);
    ui->pb_Encode->setValue(0);
    ui->pb_Save->setValue(0);
    ui->pb_Copy->setValue(0);
    if (fileIndex < files.size()) {
        startNextWorker();
        return;
    }
    importing = false;
    close();
    if (released)
        deleteLater();
}

void ImportWindow::copy_pos(int value)
{
    ui->pb_Copy->setValue(value);
}

void ImportWindow::save_pos(int value)
{
    ui->pb_Save->setValue(value);
}

void ImportWindow::encode_pos(int value)
{
    ui->pb_Encode->setValue(value);
}
