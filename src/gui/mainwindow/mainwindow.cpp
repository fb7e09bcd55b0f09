#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "activityview.h"
#include "areacontour.h"
#include "countingmodebox.h"
#include "firststartpanel.h"
#include "imagegraphicsview.h"
#include "imagewindow.h"
#include "importwindow.h"
#include "resultquestions.h"
#include "saveimagecontrol.h"
#include "settingsstore.h"
#include "startup.h"
#include "tableviewfile.h"
#include "tableviewresult.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace
{
const char* const productName = "Orvane";
const char* const productVersion = "v2.6.1";
const char* const buildDate = "Jan 21 2016";

QPixmap scaledLogo(const QString& resource, int width, int height)
{
    return QPixmap(resource).scaled(width, height, Qt::KeepAspectRatio, Qt::FastTransformation);
}
} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), timer(new QTimer(this))
{
    Startup::initResources();
    ui->setupUi(this);
    setWindowTitle(
        QStringLiteral("%1 - %2").arg(QLatin1String(productName), QLatin1String(productVersion)));
    setWindowIcon(QIcon(QStringLiteral(":/img/orvane.png")));
    resize(1341, 710);
    setMinimumSize(1200, 710);

    ui->label_logoBrellico->setPixmap(
        scaledLogo(QStringLiteral(":/img/logo_brellico_521x77.png"), 240, 40));
    ui->label_logoKelmor->setPixmap(scaledLogo(QStringLiteral(":/img/logo_kelmor.png"), 122, 48));

    connectControls();

    // The timer ticks from the first opened video on; it is never stopped afterwards.
    timer->setObjectName(QStringLiteral("timer"));
    connect(timer, &QTimer::timeout, this, &MainWindow::timeframe);

    view = std::make_unique<ImageGraphicsView>(ui->gv_video);

    applyStartUpState();

    tableViewResult = std::make_unique<TableViewResult>(ui->tv_result, ui->te_error);
    connect(tableViewResult.get(), &TableViewResult::Result_Row_Changed, this,
            &MainWindow::Result_Row_Changed);
    tableViewFile = std::make_unique<TableViewFile>(ui->tv_file, this);
    connect(tableViewFile.get(), &TableViewFile::listingWarning, statusBar(),
            [bar = statusBar()](const QString& text) { bar->showMessage(text); });
    connect(tableViewFile.get(), &TableViewFile::File_Row_Changed, this,
            &MainWindow::File_Row_Changed);

    createAnalysisObjects();

    createFirstStartPanel();
    workingDirectory = storedWorkingDirectory();
    ui->le_videofile->setText(workingDirectory);
    filename_videofile_change();

    ui->la_file_selected->clear();
    ui->la_Num_Frame->clear();
}

// The child widgets outlive the members they report to (file table, views, analysis objects):
// they are destroyed by QWidget's destructor, and the focus leaving le_videofile there ends its
// editing. No signal of a child may reach this window any more.
MainWindow::~MainWindow()
{
    timer->stop();
    runPictures->stop();
    for (QObject* child : findChildren<QObject*>())
        disconnect(child, nullptr, this, nullptr);
    delete ui;
}

void MainWindow::connectControls()
{
    connect(ui->le_videofile, &QLineEdit::editingFinished, this,
            &MainWindow::filename_videofile_change);
    connect(ui->pb_videofile, &QPushButton::clicked, this, &MainWindow::set_filename_videofile);
    connect(ui->pb_Import, &QPushButton::clicked, this, &MainWindow::Import);
    connect(ui->pb_algo, &QPushButton::clicked, this, &MainWindow::algo);
    connect(ui->pb_about, &QPushButton::clicked, this, &MainWindow::about);
    connect(ui->pb_activity, &QPushButton::clicked, this, &MainWindow::showActivity);
    connect(ui->hs_frame, &QSlider::sliderMoved, this, &MainWindow::hs_frame_moved);
    connect(ui->pb_slow_reverse, &QPushButton::clicked, this, &MainWindow::slow_reverse);
    connect(ui->pb_fast_reverse, &QPushButton::clicked, this, &MainWindow::fast_reverse);
    connect(ui->pb_play_pause, &QPushButton::clicked, this, &MainWindow::play_pause_video);
    connect(ui->pb_fast_forward, &QPushButton::clicked, this, &MainWindow::fast_forward);
    connect(ui->pb_slow_forward, &QPushButton::clicked, this, &MainWindow::slow_forward);
    connect(ui->pb_clearmask, &QPushButton::clicked, this, &MainWindow::clearmask);
    connect(ui->pb_savemask, &QPushButton::clicked, this, &MainWindow::savemask);
    connect(ui->pb_cancelmask, &QPushButton::clicked, this, &MainWindow::cancelmask);
    connect(ui->pb_cleararea, &QPushButton::clicked, this, &MainWindow::cleararea);
    connect(ui->pb_savearea, &QPushButton::clicked, this, &MainWindow::savearea);
    connect(ui->pb_cancelarea, &QPushButton::clicked, this, &MainWindow::cancelarea);

    addShortcuts();
    saveImage = new SaveImageControl(ui->pushButton_2, this);
    connect(saveImage, &SaveImageControl::message, statusBar(),
            [bar = statusBar()](const QString& text) { bar->showMessage(text); });
    centralWidget()->setMouseTracking(true);
    connect(ui->gv_video, &GraphicsViewMouse::sendMousePressVideo, this,
            &MainWindow::sendMousePressVideo);
    connect(ui->gv_video, &GraphicsViewMouse::sendMouseMoveVideo, this,
            &MainWindow::sendMouseMoveVideo);
    connect(ui->gv_video, &GraphicsViewMouse::sendMouseBClickVideo, this,
            &MainWindow::sendMouseBClickVideo);
}

// Each shortcut is named in its control's tooltip. A shortcut of a disabled button does nothing.
void MainWindow::addShortcuts()
{
    const auto bind = [](QAbstractButton* button, const QKeySequence& keys, const QString& what) {
        button->setShortcut(keys);
        button->setToolTip(
            QStringLiteral("%1 (%2)").arg(what, keys.toString(QKeySequence::NativeText)));
    };
    bind(ui->pb_play_pause, Qt::Key_Space, tr("Play or pause"));
    bind(ui->pb_slow_reverse, Qt::Key_Left, tr("One frame back"));
    bind(ui->pb_slow_forward, Qt::Key_Right, tr("One frame on"));
    bind(ui->pb_fast_reverse, Qt::Key_PageUp, tr("%1 frames back").arg(Playback::JumpFrames));
    bind(ui->pb_fast_forward, Qt::Key_PageDown, tr("%1 frames on").arg(Playback::JumpFrames));
    bind(ui->pb_videofile, QKeySequence::Open, tr("Choose the working directory"));
    auto* deleteResult = new QShortcut(QKeySequence::Delete, ui->tv_file);
    connect(deleteResult, &QShortcut::activated, this, [this] {
        if (!running())
            tableViewFile->deleteResultOf(ui->tv_file->currentIndex().row());
    });
    ui->tv_file->setToolTip(tr("Delete: delete the results of the selected video"));
}

// Until a video is opened only the directory, the file table, About and Save image respond.
void MainWindow::applyStartUpState()
{
    setTransportEnabled(false);
    ui->pb_algo->setEnabled(false);
    setRegionButtonsEnabled(false);
    setShiftButtonsEnabled(false);
    ui->cb_process_conf->setEnabled(false);
    countingBox = new CountingModeBox(ui->cb_counting, ui->cb_process_conf, this);
    ui->tv_result->setEnabled(false);
    ui->pb_Import->setEnabled(true);
    ui->la_mouse->clear();
}

QString MainWindow::storedWorkingDirectory()
{
    return openSettings().value(QStringLiteral("currentPath")).toString();
}

void MainWindow::storeWorkingDirectory(const QString& directory)
{
    QSettings settings = openSettings();
    settings.setValue(QStringLiteral("currentPath"), directory);
}

void MainWindow::filename_videofile_change()
{
    tableViewFile->setDirectory(workingDirectory);
    countingBox->followFolder(workingDirectory);
    firstStart->setVisible(workingDirectory.isEmpty());
}

// Without a working directory the file table's place offers the demo folder or a chooser.
void MainWindow::createFirstStartPanel()
{
    firstStart = new FirstStartPanel(ui->w_left);
    qobject_cast<QVBoxLayout*>(ui->w_left->layout())->insertWidget(0, firstStart);
    connect(firstStart, &FirstStartPanel::chooseFolder, this, &MainWindow::set_filename_videofile);
    connect(firstStart, &FirstStartPanel::demoReady, this, [this](const QString& folder) {
        useWorkingDirectory(folder);
        statusBar()->showMessage(tr("Demo folder opened: select the video and press Process."));
    });
    connect(firstStart, &FirstStartPanel::demoFailed, statusBar(),
            [bar = statusBar()](const QString& problem) { bar->showMessage(problem); });
}

void MainWindow::useWorkingDirectory(const QString& directory)
{
    ModeVideo(NoVideo);
    workingDirectory = directory;
    storeWorkingDirectory(workingDirectory);
    ui->le_videofile->setText(workingDirectory);
    filename_videofile_change();
}

void MainWindow::set_filename_videofile()
{
    ModeVideo(NoVideo);
    QFileDialog dialog(nullptr, QString(), QString(), QString());
    if (auto* tree = dialog.findChild<QTreeView*>()) {
        tree->setRootIsDecorated(true);
        tree->setItemsExpandable(true);
    }
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setViewMode(QFileDialog::Detail);
    dialog.setDirectory(workingDirectory);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        useWorkingDirectory(dialog.selectedFiles().first());
    else
        filename_videofile_change();
}

bool MainWindow::ask(const QString& title, const QString& question)
{
    return QMessageBox::question(this, title, question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

// Results are never replaced silently: the user sees which, and with which counting mode.
bool MainWindow::agreesToReplace(const QStringList& queue)
{
    const QString question = ResultQuestions::replaceQuestion(queue);
    return question.isEmpty() || ask(tr("Replace results"), question);
}

// The run is stopped as a Cancel would (its video keeps only the .part file, the folders are
// unlocked), but nothing is reopened: the program is ending. Every other window goes too, so
// that the process ends with this one.
void MainWindow::closeEvent(QCloseEvent* event)
{
    if (running() &&
        !ask(tr("Stop the analysis?"),
             tr("An analysis is running. Stop it and close Orvane?\n\nThe video being analysed "
                "keeps only its partial result."))) {
        event->ignore();
        return;
    }
    stopRunForClose();
    event->accept();
    for (QWidget* other : QApplication::topLevelWidgets()) {
        if (other != this && other->isVisible())
            other->close();
    }
}

void MainWindow::stopRunForClose()
{
    if (!running())
        return;
    timer->stop();
    runPictures->stop();
    runStep = NoRun;
    statusBar()->showMessage(tr("Analysis stopped"));
}

void MainWindow::Import()
{
    ImportWindow::runModal(workingDirectory, this);
    tableViewFile->setDirectory(workingDirectory);
}

// One view per window: pressing again brings it up, read anew.
void MainWindow::showActivity()
{
    if (activityView) {
        activityView->reload();
        activityView->raise();
        activityView->activateWindow();
        return;
    }
    activityView = ActivityView::open(workingDirectory, this);
}

// After a run the open view shows the results it wrote.
void MainWindow::reloadActivity()
{
    if (activityView)
        activityView->reload();
}

void MainWindow::about()
{
    QMessageBox box;
    box.setWindowTitle(windowTitle());
    box.setText(QStringLiteral("Revision: %1\nDate: %2\n"
                               "Orvane is made by Brellico.\n"
                               "Support: +49 30 0000000, support@brellico.example")
                    .arg(QLatin1String(productVersion), QLatin1String(buildDate)));
    box.exec();
}

void MainWindow::on_pushButton_2_clicked()
{
    saveImage->toggle();
}
