#include "activitycharts.h"

#include "actogramcells.h"
#include "safefile.h"

#include <QCursor>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <QToolTip>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <functional>

using namespace QtCharts;

namespace ActivityCharts
{

namespace
{

const QColor inColour(0x2e, 0x7d, 0x32);
const QColor outColour(0xc6, 0x28, 0x28);
const QColor crossingsColour(0x15, 0x65, 0xc0);
const QColor unrecordedColour(0, 0, 0, 40);
const QColor scaledUpColour(0x42, 0x42, 0x42);
// From a recorded bin without events (a cool colour, never mistaken for the blank of an
// unrecorded bin) up to the busiest bins.
const QColor levelColours[actogramLevels + 1] = {
    QColor(0xb3, 0xd4, 0xe8), QColor(0xff, 0xe0, 0xb2), QColor(0xff, 0xb7, 0x4d),
    QColor(0xfb, 0x8c, 0x00), QColor(0xe6, 0x51, 0x00), QColor(0xbf, 0x36, 0x0c)};

// More day labels than this do not fit beside each other on an axis.
constexpr int maxDayLabels = 10;
// Hour labels between the days, every 3, 6 or 12 hours: at most this many labels in all.
constexpr int maxTimeLabels = 24;
constexpr int hourLabelSteps[] = {3, 6, 12};
// A profile slot recorded for less than this is scaled up to events per hour, and marked.
constexpr double fullyRecordedHours = 1.0;

// Image size of saved pictures, in pixels: the time series above, the actogram and the profile.
constexpr int imageWidth = 1100;
constexpr int seriesHeight = 380;
constexpr int actogramHeight = 380;
constexpr int profileHeight = 330;

QChart* newChart(const QString& title)
{
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    return chart;
}

QBarSet* barSet(const char* name, const QColor& colour)
{
    auto* set = new QBarSet(QLatin1String(name));
    set->setColor(colour);
    set->setBorderColor(colour);
    return set;
}

// One step-shaped area per run of bars that must be shaded, up to `top`.
QAreaSeries* shading(const QVector<bool>& shaded, double top)
{
    auto* upper = new QLineSeries;
    for (int i = 0; i < shaded.size(); ++i) {
        if (!shaded.at(i))
            continue;
        upper->append(i - 0.5, 0);
        upper->append(i - 0.5, top);
        upper->append(i + 0.5, top);
        upper->append(i + 0.5, 0);
    }
    auto* area = new QAreaSeries(upper);
    upper->setParent(area); // an area series does not own its lines
    area->setName(QLatin1String(unrecordedName));
    area->setColor(unrecordedColour);
    area->setBorderColor(Qt::transparent);
    return area;
}

struct BarValues {
    QVector<QBarSet*> sets;
    QVector<bool> unrecorded;
    double maxValue = 0;
};

// Bars at positions 0..n-1 on a value axis labelled by `xLabels` (position -> text), with the
// unrecorded bins shaded behind them.
QChart* barChart(const QString& title, BarValues values, QCategoryAxis* xAxis,
                 const QString& yTitle)
{
    QChart* chart = newChart(title);
    const double top = std::max(1.0, values.maxValue * 1.1);
    if (std::count(values.unrecorded.begin(), values.unrecorded.end(), true) > 0)
        chart->addSeries(shading(values.unrecorded, top));
    auto* bars = new QBarSeries;
    bars->setBarWidth(0.9);
    for (QBarSet* set : values.sets)
        bars->append(set);
    chart->addSeries(bars);
    xAxis->setRange(-0.5, values.unrecorded.size() - 0.5);
    xAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    auto* yAxis = new QValueAxis;
    yAxis->setRange(0, top);
    yAxis->applyNiceNumbers();
    yAxis->setTitleText(yTitle);
    yAxis->setLabelFormat(QStringLiteral("%.3g"));
    chart->addAxis(xAxis, Qt::AlignBottom);
    chart->addAxis(yAxis, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(xAxis);
        series->attachAxis(yAxis);
    }
    return chart;
}

QString binText(const ActivityTable& table, int index)
{
    const ActivityBin& bin = table.bins.at(index);
    const QString start = wallClockTime(bin.startMs).toString(QStringLiteral("yyyy-MM-dd hh:mm"));
    if (!bin.recorded())
        return QStringLiteral("%1\nno recording").arg(start);
    return QStringLiteral("%1\nIn %2, Out %3, crossings %4\n%5 min recorded")
        .arg(start)
        .arg(bin.in)
        .arg(bin.out)
        .arg(bin.crossings)
        .arg(bin.recordedMinutes(), 0, 'f', 1);
}

void showFiguresOnHover(QBarSeries* bars, QChart* chart, const ActivityTable& table)
{
    QObject::connect(bars, &QBarSeries::hovered, chart, [table](bool inside, int index, QBarSet*) {
        if (inside && index >= 0 && index < table.bins.size())
            QToolTip::showText(QCursor::pos(), binText(table, index));
        else
            QToolTip::hideText();
    });
}

// The step of hour labels that fit with the days, or 0 when only the days do (or the bins are
// wider than the step).
int hourLabelStep(const ActivityTable& table)
{
    for (int step : hourLabelSteps) {
        if (table.days() * (24 / step) <= maxTimeLabels && table.binSeconds <= step * 3600)
            return step;
    }
    return 0;
}

// A label at each day's first bin; on long spans only every n-th day, so that labels never
// overlap.
QCategoryAxis* dayAxis(const ActivityTable& table)
{
    auto* axis = new QCategoryAxis;
    const int days = table.days();
    const int step = std::max(1, (days + maxDayLabels - 1) / maxDayLabels);
    const int hourStep = hourLabelStep(table);
    const double binsPerHour = table.binsPerDay() / 24.0;
    for (int day = 0; day < days; day += step) {
        const QDate date = table.firstDay().addDays(day);
        axis->append(date.toString(QStringLiteral("MMM d")), day * table.binsPerDay() - 0.5);
        for (int h = hourStep; hourStep > 0 && h < 24; h += hourStep) {
            // Labels must differ; invisible spaces tell the same hour of different days apart.
            const QString label = QStringLiteral("%1:00").arg(h, 2, 10, QLatin1Char('0')) +
                                  QString(day, QChar(0x200b));
            axis->append(label, day * table.binsPerDay() + h * binsPerHour - 0.5);
        }
    }
    axis->setTitleText(hourStep > 0 ? QStringLiteral("day and hour") : QStringLiteral("day"));
    return axis;
}

// Labels at every few hours of the day for `slotCount` bars.
QCategoryAxis* hourAxis(int slotCount, int hours, int everyHours)
{
    auto* axis = new QCategoryAxis;
    const double perHour = double(slotCount) / hours;
    for (int h = 0; h < hours; h += everyHours)
        axis->append(QStringLiteral("%1:00").arg(h, 2, 10, QLatin1Char('0')), h * perHour - 0.5);
    axis->setTitleText(QStringLiteral("time of day"));
    return axis;
}

// A path through the rectangles that returns to its start after each one, so that one area
// series fills them all: the way to and from a rectangle encloses nothing.
QLineSeries* rectanglePath(const QVector<QRectF>& rects)
{
    auto* path = new QLineSeries;
    if (rects.isEmpty())
        return path;
    const QPointF anchor = rects.first().topLeft();
    path->append(anchor);
    for (const QRectF& r : rects) {
        path->append(r.topLeft());
        path->append(r.topRight());
        path->append(r.bottomRight());
        path->append(r.bottomLeft());
        path->append(r.topLeft());
        path->append(anchor);
    }
    return path;
}

QString levelName(int level, int maxCount)
{
    if (level == 0)
        return QStringLiteral("0");
    const int first = levelStart(level, maxCount);
    const int last = level == actogramLevels ? maxCount : levelStart(level + 1, maxCount) - 1;
    return first == last ? QString::number(first) : QStringLiteral("%1-%2").arg(first).arg(last);
}

QAreaSeries* levelSeries(const Actogram& gram, int level, double hoursPerColumn)
{
    QVector<QRectF> rects;
    for (const ActogramCell& cell : gram.cells) {
        if (cell.level == level)
            rects.append(QRectF(cell.column * hoursPerColumn, cell.row, hoursPerColumn, 1));
    }
    QLineSeries* path = rectanglePath(rects);
    auto* lower = new QLineSeries;
    if (!rects.isEmpty())
        lower->append(rects.first().topLeft());
    auto* area = new QAreaSeries(path, lower);
    path->setParent(area); // an area series does not own its lines
    lower->setParent(area);
    area->setName(levelName(level, gram.maxCount));
    area->setColor(levelColours[level]);
    area->setPen(Qt::NoPen);
    return area;
}

QCategoryAxis* dayRowsAxis(const ActivityTable& table, int rows)
{
    auto* axis = new QCategoryAxis;
    const int step = std::max(1, (rows + maxDayLabels - 1) / maxDayLabels);
    for (int row = 0; row < rows; row += step)
        axis->append(table.firstDay().addDays(row).toString(QStringLiteral("MMM d")), row + 0.5);
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axis->setRange(0, std::max(rows, 1));
    axis->setReverse(true);
    axis->setGridLineVisible(false);
    return axis;
}

QString saveSvg(QGraphicsScene& scene, const QString& path)
{
    SafeFile file(path, SafeFile::AtFinalName::WriteToDevice);
    if (!file.open())
        return file.errorText();
    QSvgGenerator svg;
    svg.setOutputDevice(file.device());
    svg.setSize(scene.sceneRect().size().toSize());
    svg.setViewBox(scene.sceneRect());
    svg.setTitle(QStringLiteral("Activity"));
    {
        QPainter painter(&svg);
        scene.render(&painter);
    }
    if (!file.commit())
        return file.errorText();
    return {};
}

QString savePng(QGraphicsScene& scene, const QString& path)
{
    QImage image(scene.sceneRect().size().toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter);
    }
    SafeFile file(path, SafeFile::AtFinalName::WriteToDevice);
    if (!file.open())
        return file.errorText();
    if (!image.save(file.device(), "PNG")) {
        file.cancel();
        return QStringLiteral("cannot write %1: the picture could not be encoded").arg(path);
    }
    if (!file.commit())
        return file.errorText();
    return {};
}

} // namespace

QChart* timeSeries(const ActivityTable& table)
{
    BarValues values;
    values.sets = {barSet(inName, inColour), barSet(outName, outColour)};
    if (table.hasCrossings())
        values.sets.append(barSet(crossingsName, crossingsColour));
    for (const ActivityBin& bin : table.bins) {
        values.unrecorded.append(!bin.recorded());
        const int counts[] = {bin.in, bin.out, bin.crossings};
        for (int i = 0; i < values.sets.size(); ++i) {
            values.sets[i]->append(counts[i]);
            values.maxValue = std::max<double>(values.maxValue, counts[i]);
        }
    }
    QChart* chart = barChart(QStringLiteral("Events per %1").arg(binWidthName(table.binSeconds)),
                             values, dayAxis(table), QStringLiteral("events"));
    for (QAbstractSeries* s : chart->series()) {
        if (auto* bars = qobject_cast<QBarSeries*>(s))
            showFiguresOnHover(bars, chart, table);
    }
    return chart;
}

QChart* actogram(const ActivityTable& withinDay, bool doublePlotted)
{
    const Actogram gram = actogramOf(withinDay, doublePlotted);
    QChart* chart = newChart(doublePlotted ? QStringLiteral("Actogram (double-plotted)")
                                           : QStringLiteral("Actogram"));
    const double hoursPerColumn = withinDay.binSeconds / 3600.0;
    for (int level = 0; level <= actogramLevels; ++level)
        chart->addSeries(levelSeries(gram, level, hoursPerColumn));
    const int hours = doublePlotted ? 48 : 24;
    auto* xAxis = new QValueAxis;
    xAxis->setRange(0, hours);
    xAxis->setTickCount(hours / (doublePlotted ? 6 : 3) + 1);
    xAxis->setLabelFormat(QStringLiteral("%d h"));
    xAxis->setTitleText(QStringLiteral("time of day"));
    QCategoryAxis* yAxis = dayRowsAxis(withinDay, gram.rows);
    chart->addAxis(xAxis, Qt::AlignBottom);
    chart->addAxis(yAxis, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(xAxis);
        series->attachAxis(yAxis);
        // Levels that no count reaches have no place in the legend.
        const bool empty = static_cast<QAreaSeries*>(series)->upperSeries()->count() == 0;
        for (QLegendMarker* marker : chart->legend()->markers(series))
            marker->setVisible(!empty);
    }
    return chart;
}

// A mark above each slot whose events per hour come from less than an hour of recording.
void markScaledUp(QChart* chart, const QVector<ProfileSlot>& profile, const QVector<QBarSet*>& sets)
{
    auto* marks = new QScatterSeries;
    marks->setName(QLatin1String(scaledUpName));
    marks->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    marks->setMarkerSize(7);
    marks->setColor(scaledUpColour);
    marks->setBorderColor(scaledUpColour);
    for (int i = 0; i < profile.size(); ++i) {
        if (!profile[i].recorded() || profile[i].hoursRecorded() >= fullyRecordedHours)
            continue;
        double top = 0;
        for (const QBarSet* set : sets)
            top = std::max(top, set->at(i));
        marks->append(i, top);
    }
    chart->addSeries(marks);
    marks->attachAxis(chart->axes(Qt::Horizontal).first());
    marks->attachAxis(chart->axes(Qt::Vertical).first());
    if (marks->count() == 0)
        for (QLegendMarker* marker : chart->legend()->markers(marks))
            marker->setVisible(false);
}

QChart* dailyProfile(const QVector<ProfileSlot>& profile)
{
    BarValues values;
    values.sets = {barSet(inName, inColour), barSet(outName, outColour)};
    const bool crossings = std::any_of(profile.begin(), profile.end(),
                                       [](const ProfileSlot& s) { return s.crossings > 0; });
    if (crossings)
        values.sets.append(barSet(crossingsName, crossingsColour));
    for (const ProfileSlot& slot : profile) {
        values.unrecorded.append(!slot.recorded());
        const int counts[] = {slot.in, slot.out, slot.crossings};
        for (int i = 0; i < values.sets.size(); ++i) {
            values.sets[i]->append(slot.perHour(counts[i]));
            values.maxValue = std::max(values.maxValue, slot.perHour(counts[i]));
        }
    }
    const QVector<QBarSet*> sets = values.sets;
    QChart* chart = barChart(QStringLiteral("Daily profile: events per recorded hour"), values,
                             hourAxis(profile.size(), 24, 3), QStringLiteral("events / hour"));
    markScaledUp(chart, profile, sets);
    return chart;
}

QString plotProblem(const ActivityViews& views, int binSeconds)
{
    const int days = views.withinDay.days();
    if (days > actogramHeight)
        return QStringLiteral("the actogram cannot show %1 days (at most %2); choose a shorter "
                              "range with --from and --to")
            .arg(days)
            .arg(actogramHeight);
    const qint64 bins = views.table.bins.size();
    if (bins <= imageWidth)
        return {};
    for (const NamedBinWidth& wider : binWidths()) {
        if (wider.seconds > binSeconds && bins * binSeconds / wider.seconds <= imageWidth)
            return QStringLiteral("a chart cannot show %1 bins (at most %2); choose a wider bin, "
                                  "e.g. --bin %3")
                .arg(bins)
                .arg(imageWidth)
                .arg(QLatin1String(wider.name));
    }
    return QStringLiteral("a chart cannot show %1 bins (at most %2); choose a shorter range "
                          "with --from and --to")
        .arg(bins)
        .arg(imageWidth);
}

QString saveImage(const ActivityViews& views, const QString& path, bool doublePlotted)
{
    QGraphicsScene scene;
    const QList<std::pair<QChart*, int>> charts{
        {timeSeries(views.table), seriesHeight},
        {actogram(views.withinDay, doublePlotted), actogramHeight},
        {dailyProfile(views.profile), profileHeight}};
    qreal y = 0;
    for (const auto& [chart, height] : charts) {
        scene.addItem(chart); // the scene owns it from here
        chart->setGeometry(0, y, imageWidth, height);
        y += height;
    }
    scene.setSceneRect(0, 0, imageWidth, y);
    return path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive) ? saveSvg(scene, path)
                                                                     : savePng(scene, path);
}

} // namespace ActivityCharts
