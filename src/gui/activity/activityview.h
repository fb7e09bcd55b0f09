#pragma once

#include "activitytable.h"
#include "folderactivity.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QTabWidget;
namespace QtCharts
{
class QChartView;
}

// The window's Activity view: the events of every analysed video of a folder over time, as a
// time series, an actogram and a daily profile, with controls for the bin width and the days.
// The folder is read on opening, when the view is shown again and on reload() (after a run); the
// controls only re-bin what was read. Bin width, double plot and the folder of saved files are
// remembered in the settings.
class ActivityView : public QWidget
{
    Q_OBJECT
public:
    explicit ActivityView(const QStringList& directories, QWidget* parent = nullptr);

    // Opens a view of `directory` in its own window, deleted when closed.
    static ActivityView* open(const QString& directory, QWidget* parent);

    const FolderActivity& activity() const { return data; }
    const ActivityViews& views() const { return shown; }
    QtCharts::QChartView* timeSeriesView() const { return seriesView; }
    QtCharts::QChartView* actogramView() const { return gramView; }
    QtCharts::QChartView* profileView() const { return profView; }

    void setBinSeconds(int seconds);
    void setDays(const QDate& from, const QDate& to);
    void setDoublePlotted(bool on);
    // Reads the folder again, keeping the chosen bin width and days where the data allows.
    void reload();
    // What the view says below the charts (reading summary, saved files, errors).
    QString statusText() const;

    // The three charts into a PNG or SVG file, and the shown table (or, on the profile's tab,
    // the profile) as a CSV file; an empty text on success, otherwise the reason.
    QString saveImage(const QString& path) const;
    QString exportCsv(const QString& path) const;

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void refresh();
    void showActogram();
    void chooseImageFile();
    void chooseCsvFile();

private:
    QWidget* makeControls();
    void initialDays();
    void reportReading();
    void showSaveResult(const QString& error, const QString& path);
    QString chooseSaveFile(const QString& caption, const QString& filter, QString* selected);
    void showEmptyState();
    void rememberChoices();

    QStringList directories;
    FolderActivity data;
    bool shownOnce = false;
    QLabel* emptyHint;
    ActivityViews shown;
    QComboBox* binWidth;
    QDateEdit* fromDay;
    QDateEdit* toDay;
    QCheckBox* doublePlot;
    QTabWidget* tabs;
    QtCharts::QChartView* seriesView;
    QtCharts::QChartView* gramView;
    QtCharts::QChartView* profView;
    QLabel* status;
};
