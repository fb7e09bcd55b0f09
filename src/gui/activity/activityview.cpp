#include "activityview.h"

#include "activitycharts.h"
#include "activityexport.h"
#include "settingsstore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtCharts/QChartView>

using namespace QtCharts;

namespace
{

QChartView* chartView(QWidget* parent)
{
    auto* view = new QChartView(parent);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(640, 360);
    return view;
}

// The view takes the new chart and deletes the one it showed.
void replaceChart(QChartView* view, QChart* chart)
{
    QChart* old = view->chart();
    view->setChart(chart);
    delete old;
}

QString readingSummary(const FolderActivity& a)
{
    QString text = QObject::tr("%n result file(s)", nullptr, a.resultFiles);
    if (a.garbageRows)
        text += QObject::tr(", %n line(s) that are no event skipped", nullptr, a.garbageRows);
    if (a.untimedFiles)
        text += QObject::tr(", %n file(s) without recording time", nullptr, a.untimedFiles) +
                QObject::tr(" (%n event(s) left out)", nullptr, a.untimedEvents);
    if (a.unreadableFiles)
        text += QObject::tr(", %n unreadable", nullptr, a.unreadableFiles);
    if (a.unknownSpans)
        text += QObject::tr(", %n video(s) missing or unreadable", nullptr, a.unknownSpans);
    return text;
}

const QString binSecondsKey = QStringLiteral("activity/binSeconds");
const QString doublePlottedKey = QStringLiteral("activity/doublePlotted");
const QString saveFolderKey = QStringLiteral("activity/saveFolder");

// The chosen name with `suffix` added unless it ends in one of `accepted`.
QString withSuffix(const QString& path, const QStringList& accepted, const QString& suffix)
{
    for (const QString& s : accepted) {
        if (path.endsWith(s, Qt::CaseInsensitive))
            return path;
    }
    return path + suffix;
}

} // namespace

ActivityView::ActivityView(const QStringList& directories, QWidget* parent)
    : QWidget(parent), directories(directories), data(readActivity(directories))
{
    setWindowTitle(tr("Activity: %1").arg(directories.join(QStringLiteral(", "))));
    tabs = new QTabWidget(this);
    seriesView = chartView(tabs);
    gramView = chartView(tabs);
    profView = chartView(tabs);
    tabs->addTab(seriesView, tr("Time series"));
    tabs->addTab(gramView, tr("Actogram"));
    tabs->addTab(profView, tr("Daily profile"));
    status = new QLabel(this);
    status->setWordWrap(true);
    status->setObjectName(QStringLiteral("la_activityStatus"));
    emptyHint = new QLabel(this);
    emptyHint->setObjectName(QStringLiteral("la_activityEmpty"));
    emptyHint->setWordWrap(true);
    emptyHint->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeControls());
    layout->addWidget(tabs, 1);
    layout->addWidget(emptyHint, 1);
    layout->addWidget(status);
    reportReading();
    initialDays();
    refresh();
}

// Shown again (e.g. brought back by the window's button): the folder may have new results.
void ActivityView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (shownOnce)
        reload();
    shownOnce = true;
}

void ActivityView::reload()
{
    data = readActivity(directories);
    reportReading();
    initialDays();
    refresh();
}

QString ActivityView::statusText() const
{
    return status->text();
}

// No result yet: a hint in place of empty charts with a made-up day.
void ActivityView::showEmptyState()
{
    const bool empty = data.resultFiles == 0;
    tabs->setVisible(!empty);
    emptyHint->setVisible(empty);
    for (QWidget* control : findChildren<QPushButton*>())
        control->setEnabled(!empty);
    emptyHint->setText(
        tr("No results in %1 yet.\n\nChoose videos in the main window and press \"Process\": "
           "the events they give are shown here.")
            .arg(directories.join(QStringLiteral(", "))));
}

ActivityView* ActivityView::open(const QString& directory, QWidget* parent)
{
    auto* view = new ActivityView({directory}, parent);
    view->setObjectName(QStringLiteral("activityView"));
    view->setWindowFlag(Qt::Window);
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->resize(1000, 640);
    view->show();
    return view;
}

QWidget* ActivityView::makeControls()
{
    auto* controls = new QWidget(this);
    binWidth = new QComboBox(controls);
    for (const NamedBinWidth& w : binWidths())
        binWidth->addItem(QLatin1String(w.name), w.seconds);
    QSettings settings = openSettings();
    const int storedBin = binWidth->findData(settings.value(binSecondsKey).toInt());
    binWidth->setCurrentIndex(storedBin >= 0 ? storedBin : binWidth->findData(int(BinWidth::hour)));
    fromDay = new QDateEdit(controls);
    toDay = new QDateEdit(controls);
    for (QDateEdit* edit : {fromDay, toDay}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        edit->setCalendarPopup(true);
    }
    doublePlot = new QCheckBox(tr("Double-plotted"), controls);
    doublePlot->setChecked(settings.value(doublePlottedKey, false).toBool());
    auto* save = new QPushButton(tr("Save image…"), controls);
    auto* csv = new QPushButton(tr("Export CSV…"), controls);

    auto* row = new QHBoxLayout(controls);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(tr("Bin"), controls));
    row->addWidget(binWidth);
    row->addWidget(new QLabel(tr("From"), controls));
    row->addWidget(fromDay);
    row->addWidget(new QLabel(tr("to"), controls));
    row->addWidget(toDay);
    row->addWidget(doublePlot);
    row->addStretch(1);
    row->addWidget(save);
    row->addWidget(csv);

    connect(binWidth, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &ActivityView::refresh);
    connect(fromDay, &QDateEdit::dateChanged, this, &ActivityView::refresh);
    connect(toDay, &QDateEdit::dateChanged, this, &ActivityView::refresh);
    connect(doublePlot, &QCheckBox::toggled, this, &ActivityView::showActogram);
    connect(binWidth, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &ActivityView::rememberChoices);
    connect(doublePlot, &QCheckBox::toggled, this, &ActivityView::rememberChoices);
    connect(save, &QPushButton::clicked, this, &ActivityView::chooseImageFile);
    connect(csv, &QPushButton::clicked, this, &ActivityView::chooseCsvFile);
    return controls;
}

// The days of the data, so that the first picture shows everything.
void ActivityView::initialDays()
{
    ActivityTable days;
    binActivity(data, BinWidth::day, {}, {}, days);
    const QDate first = days.bins.isEmpty() ? QDate::currentDate() : days.firstDay();
    const QDate last = first.addDays(std::max(days.days() - 1, 0));
    const QSignalBlocker blockFrom(fromDay), blockTo(toDay);
    fromDay->setDate(first);
    toDay->setDate(last);
}

void ActivityView::rememberChoices()
{
    QSettings settings = openSettings();
    settings.setValue(binSecondsKey, binWidth->currentData().toInt());
    settings.setValue(doublePlottedKey, doublePlot->isChecked());
}

void ActivityView::reportReading()
{
    QString text = readingSummary(data);
    if (!data.problems.isEmpty())
        status->setToolTip(data.problems.mid(0, 50).join(QLatin1Char('\n')));
    status->setText(text);
}

void ActivityView::setBinSeconds(int seconds)
{
    binWidth->setCurrentIndex(binWidth->findData(seconds));
}

void ActivityView::setDays(const QDate& from, const QDate& to)
{
    {
        const QSignalBlocker blockFrom(fromDay), blockTo(toDay);
        fromDay->setDate(from);
        toDay->setDate(to);
    }
    refresh();
}

void ActivityView::setDoublePlotted(bool on)
{
    doublePlot->setChecked(on);
}

void ActivityView::refresh()
{
    const QString error =
        buildViews(data, binWidth->currentData().toInt(), fromDay->date(), toDay->date(), shown);
    if (!error.isEmpty())
        status->setText(readingSummary(data) + QStringLiteral(" — ") + error);
    else
        reportReading();
    replaceChart(seriesView, ActivityCharts::timeSeries(shown.table));
    showActogram();
    replaceChart(profView, ActivityCharts::dailyProfile(shown.profile));
    showEmptyState();
}

// Only the actogram depends on the double plot.
void ActivityView::showActogram()
{
    replaceChart(gramView, ActivityCharts::actogram(shown.withinDay, doublePlot->isChecked()));
}

QString ActivityView::saveImage(const QString& path) const
{
    return ActivityCharts::saveImage(shown, path, doublePlot->isChecked());
}

QString ActivityView::exportCsv(const QString& path) const
{
    const bool profile = tabs->currentWidget() == profView;
    const QString text =
        profile ? ActivityExport::profileCsv(shown.profile) : ActivityExport::tableCsv(shown.table);
    return ActivityExport::writeFile(path, text.toUtf8());
}

// A save is confirmed below the charts; a failure is shown at once.
void ActivityView::showSaveResult(const QString& error, const QString& path)
{
    if (!error.isEmpty()) {
        status->setText(error);
        QMessageBox::warning(this, windowTitle(), error);
        return;
    }
    status->setText(tr("Saved %1").arg(QDir::toNativeSeparators(path)));
}

// The dialogs open where the last file was saved, else in the home folder.
QString ActivityView::chooseSaveFile(const QString& caption, const QString& filter,
                                     QString* selected)
{
    QSettings settings = openSettings();
    const QString folder = settings.value(saveFolderKey, QDir::homePath()).toString();
    const QString path = QFileDialog::getSaveFileName(this, caption, folder, filter, selected);
    if (!path.isEmpty())
        settings.setValue(saveFolderKey, QFileInfo(path).absolutePath());
    return path;
}

void ActivityView::chooseImageFile()
{
    QString selected;
    const QString path =
        chooseSaveFile(tr("Save image"), tr("PNG image (*.png);;SVG image (*.svg)"), &selected);
    if (path.isEmpty())
        return;
    const QString suffix =
        selected.contains(QLatin1String("svg")) ? QStringLiteral(".svg") : QStringLiteral(".png");
    const QString file = withSuffix(path, {QStringLiteral(".png"), QStringLiteral(".svg")}, suffix);
    showSaveResult(saveImage(file), file);
}

void ActivityView::chooseCsvFile()
{
    const QString path = chooseSaveFile(tr("Export CSV"), tr("CSV file (*.csv)"), nullptr);
    if (path.isEmpty())
        return;
    const QString file = withSuffix(path, {QStringLiteral(".csv")}, QStringLiteral(".csv"));
    showSaveResult(exportCsv(file), file);
}
