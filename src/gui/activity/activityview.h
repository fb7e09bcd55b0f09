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
// The folder is read once on opening; the controls only re-bin what was read.
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

    // The three charts into a PNG or SVG file, and the shown table (or, on the profile's tab,
    // the profile) as a CSV file; an empty text on success, otherwise the reason.
    QString saveImage(const QString& path) const;
    QString exportCsv(const QString& path) const;

private slots:
    void refresh();
    void showActogram();
    void chooseImageFile();
    void chooseCsvFile();

private:
    QWidget* makeControls();
    void initialDays();
    void reportReading();
    void showError(const QString& message);

    FolderActivity data;
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
