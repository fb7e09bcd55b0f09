#pragma once

#include "analysissession.h"
#include "playback.h"
#include "regioneditor.h"
#include "result.h"
#include "resultlist.h"
#include "runpictures.h"
#include "videoview.h"

#include <QDateTime>
#include <QList>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>
#include <initializer_list>
#include <memory>
#include <opencv2/core.hpp>

namespace Ui
{
class MainWindow;
}

struct RunProgress;
struct VideoOutcome;
class AreaContour;
class ActivityView;
class CountingModeBox;
class SaveImageControl;
class FirstStartPanel;
class ImageGraphicsView;
class ImageWindow;
class QTimer;
class TableViewFile;
class TableViewResult;

// The application's only window. It owns every long-lived object and wires the controls to the
// objects that do the work; one timer drives playback and analysis through timeframe().
// The code is split by concern: mainwindow.cpp (construction, settings, directory, About, Save
// image, Import), mainwindow_playback.cpp (video source, transport, the tick),
// mainwindow_regions.cpp (mouse and region buttons), mainwindow_results.cpp (result list and
// table), mainwindow_analysis.cpp (the analysis run).
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // What timeframe() does for an analysis run; without a run it moves the playback.
    enum RunStep { NoRun, Analyse };
    // User-interface states applied by ModeVideo(), the one place that enables controls.
    enum statemode {
        NoVideo = 0,
        VideoReady = 1,
        Processing = 2,
        ProcessingDone = 3,
        ProcessingCancelled = 4
    };

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The video on screen and the events of its result table.
    const Playback& playback() const { return player; }
    const ResultList& results() const { return resultList; }
    // How the video view shows it (display size, zoom), and the picture it shows.
    const VideoView& videoView() const { return viewState; }
    const ImageGraphicsView& videoDisplay() const { return *view; }
    // The regions of the video on screen and what is being edited of them.
    const RegionEditor& regionEditor() const { return editor; }

public slots:
    void filename_videofile_change();
    void set_filename_videofile();
    void timeframe();
    void play_pause_video();
    void fast_forward();
    void slow_forward();
    void fast_reverse();
    void slow_reverse();
    void hs_frame_moved(int iPos);
    void algo();
    void sendMousePressVideo(QMouseEvent* e);
    void sendMouseBClickVideo(QMouseEvent* e);
    void sendMouseMoveVideo(QMouseEvent* e);
    void cleararea();
    void savearea();
    void cancelarea();
    void clearmask();
    void savemask();
    void cancelmask();
    void Import();
    void AddResult(Result result);
    void ClearResult();
    void File_Row_Changed(int ifile);
    void Result_Row_Changed(int irow);
    void ModeVideo(statemode mode);
    void about();
    void showActivity();
    void on_pushButton_2_clicked();
    void on_pb_movebox_clicked();
    void on_pb_savebox_clicked();
    void on_pb_cancelbox_clicked();

private:
    // Video source and playback (mainwindow_playback.cpp).
    void closeVideo();
    bool openVideo();
    bool showOpenedVideo(bool read);
    void showReadyVideo(bool opened);
    void showFrame(const cv::Mat& frame);
    void savePicture();
    void showWithRegions(const cv::Mat& frame);
    void showPlayCaption();
    void pauseAfterStep();
    void showPosition();
    static void setControlsEnabled(std::initializer_list<QWidget*> controls, bool on);
    void setTransportEnabled(bool on);
    void setRegionButtonsEnabled(bool on);
    void setShiftButtonsEnabled(bool on);
    void setFileControlsEnabled(bool on);
    void enterNoVideo();
    void enterVideoReady();
    bool enterProcessing();
    void setProcessingControls();
    void applyFinishedState(); // ProcessingDone and ProcessingCancelled
    void showVideoProperties();
    void requestMove(Playback::Mode move);
    void wakeTicks();
    void redraw();
    bool running() const { return runStep != NoRun; }

protected:
    // During a run, asks whether to stop it; closing ends the run and closes every window.
    void closeEvent(QCloseEvent* event) override;

private:
    bool ask(const QString& title, const QString& question);
    bool agreesToReplace(const QStringList& queue);
    void stopRunForClose();

    // Construction (mainwindow.cpp).
    void connectControls();
    void reloadActivity();
    void addShortcuts();
    void showProcessHint();
    void createFirstStartPanel();
    void useWorkingDirectory(const QString& directory);
    void applyStartUpState();

    // Settings of the working directory (mainwindow.cpp).
    static QString storedWorkingDirectory();
    static void storeWorkingDirectory(const QString& directory);

    // Result file of the video on screen into the result list (mainwindow_results.cpp).
    void loadResults();

    // The analysis run (mainwindow_analysis.cpp).
    void createAnalysisObjects();
    void analyseTick();
    void cancelRun();
    void finishRun();
    void finishCancelledRun();
    bool refreshRun();
    void showRunVideo(const RunProgress& progress, const VideoProperties& props);
    void showRunPicture();
    void showDensity(const cv::Mat& bgra, cv::Size original);
    RunPictures::View runDisplay();
    void reportVideoEnd(const VideoOutcome& outcome);
    void showRunProgress(const RunProgress& progress);

    Ui::MainWindow* ui;

    QString workingDirectory;
    QString currentFile;
    QString fileBeforeBatch;
    Playback player;
    RunStep runStep = NoRun;
    VideoView viewState;
    QTimer* timer;
    ResultList resultList;
    std::unique_ptr<ImageGraphicsView> view;
    std::unique_ptr<ImageWindow> vorlWindow;
    std::unique_ptr<TableViewFile> tableViewFile;
    std::unique_ptr<TableViewResult> tableViewResult;
    RegionEditor editor;
    SaveImageControl* saveImage = nullptr; // owned by its button

    // The analysis run: one session, on a thread of its own, and the pictures it shows.
    std::unique_ptr<AnalysisSession> session;
    CountingModeBox* countingBox = nullptr;   // owned by the window
    FirstStartPanel* firstStart = nullptr;    // owned by the window
    QPointer<ActivityView> activityView;      // its own window, deleted when closed
    std::unique_ptr<RunPictures> runPictures; // destroyed first: it stops the run
    RunPictures::Update runPicture;           // its buffers are reused between refreshes
    AnalysisSession::Update runUpdate;
    double runFrame = 0;  // position of the frame last analysed, shown during a run
    cv::Mat overlayFrame; // reused between ticks

    // Region editing and the result table (mainwindow_regions.cpp, mainwindow_results.cpp).
    cv::Point videoPosition(const QMouseEvent* e) const;
    void endPolygonEdit();
    bool showsVideo() const;
    void cancelRegionEdit();
    void loadRegionFiles();
    void tellRegionLoad(const QStringList& problems);
    void refreshAfterSave(bool saved);
    cv::Size frameSize() const;
};
