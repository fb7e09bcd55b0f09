#include "importwindow.h"

#include "importlisting.h"
#include "process_import.h"
#include "settingsstore.h"
#include "ui_importwindow.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QSpinBox>

namespace
{

const QString pathImportKey = QStringLiteral("PathImport");
const QString streamFrameRateKey = QStringLiteral("importStreamFps");

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
    ui->sb_fps->setRange(1, Process_Import::MaxStreamFrameRate);
    ui->sb_fps->setValue(
        openSettings().value(streamFrameRateKey, Process_Import::DefaultStreamFrameRate).toInt());
    connect(ui->sb_fps, QOverload<int>::of(&QSpinBox::valueChanged), this,
            [](int fps) { openSettings().setValue(streamFrameRateKey, fps); });
    pathImport = openSettings().value(pathImportKey).toString();
    folder = pathImport;
    ui->le_videofile->setText(folder);
    listFiles();
    showFiles();
}

ImportWindow::~ImportWindow() = default;

void ImportWindow::runModal(const QString& destination, QWidget* parent)
{
    auto* dialog = new ImportWindow(destination, parent);
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
    showFiles();
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
    worker->setStreamFrameRate(ui->sb_fps->value());
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

// Each file's row says what became of it, with the reason when it was skipped or failed.
void ImportWindow::showOutcome(int index, const ImportOutcome& outcome)
{
    QListWidgetItem* item = ui->lw_filevideo->item(index);
    if (!item)
        return;
    item->setText(QStringLiteral("%1 \u2014 %2")
                      .arg(QFileInfo(files.at(index)).fileName(), importOutcomeText(outcome)));
    item->setToolTip(item->text());
    if (outcome.kind == ImportOutcome::Failed)
        item->setForeground(Qt::red);
}

void ImportWindow::end_thread()
{
    showOutcome(fileIndex - 1, worker->outcome());
    ui->pb_file->setValue(fileIndex);
    ui->pb_Encode->setValue(0);
    ui->pb_Save->setValue(0);
    ui->pb_Copy->setValue(0);
    if (fileIndex < files.size()) {
        startNextWorker();
        return;
    }
    // The dialog stays open on the outcomes, the other files of the folder named as not imported,
    // as orvane-import lists them; a dialog already released goes now.
    for (const QString& other : ImportListing::others(folder))
        ui->lw_filevideo->addItem(
            QStringLiteral("%1 \u2014 %2")
                .arg(QFileInfo(other).fileName(),
                     importOutcomeText({ImportOutcome::Skipped, {}, tr("not a recording")})));
    importing = false;
    ui->la_currentfile->setText(tr("Import finished"));
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
