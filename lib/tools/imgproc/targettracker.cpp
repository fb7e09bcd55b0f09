#include "targettracker.h"

#include "targetpool.h"
#include "unionfind.h"

#include "countingmode.h"
#include <QDebug>
#include <QLoggingCategory>

#include <algorithm>
#include <cmath>

namespace
{
// Formatting the per-pair messages costs more than the tracking itself: skip it when debug
// output is filtered out anyway.
bool debugOn()
{
    return QLoggingCategory::defaultCategory()->isDebugEnabled();
}
} // namespace

void TargetTracker::init(int maxAge, int maxDistance)
{
    this->maxAge = maxAge;
    this->maxDistance = maxDistance;
}

void TargetTracker::setPrediction(bool on, int gatePixels)
{
    prediction = on;
    gate = gatePixels;
}

void TargetTracker::setFrameRate(double fps)
{
    const double rate = fps > 0 && std::isfinite(fps) ? fps : usualFrameRate;
    // A wide gate narrower than the close one would leave a slow target's jitter unmatched.
    gate = std::max(static_cast<int>(std::lround(fastestInsect / rate)),
                    static_cast<int>(closeGateBase));
    strayPerFrame = strayWhileUnseen / rate;
    newStepWeight = static_cast<float>(1 - std::exp2(-1 / (velocityHalfLife * rate)));
}

void TargetTracker::age_tracked_targets(QList<Target*>& tracked)
{
    for (Target* t : qAsConst(tracked))
        if (t->age > 0)
            t->agemovement = 0;
    TargetPool* pool = TargetPool::instance();
    for (int i = 0; i < tracked.size();) {
        Target* t = tracked[i];
        t->age += 1;
        if (t->age >= maxAge) {
            tracked.removeAt(i);
            pool->release(t);
        } else {
            ++i;
        }
    }
}

void TargetTracker::fill_cost_matrix(const QList<Target*>& rows, const QList<Target*>& columns,
                                     cv::Mat_<int>& out)
{
    out.create(rows.size(), columns.size());
    for (int i = 0; i < rows.size(); ++i)
        for (int j = 0; j < columns.size(); ++j)
            out(i, j) = static_cast<int>(rows[i]->distance(*columns[j]));
}

namespace
{
// Far beyond any gate, yet small enough that the solver's sums of a few thousand of them cannot
// overflow.
constexpr int outOfGate = 1 << 20;

// Steps a target needs before its velocity predicts well enough for the close gate.
constexpr int stepsForCloseGate = 2;

// The solver reads a zero cost as "no position", so a perfect prediction costs 1.
int predictedCost(const Target& detection, const Target& target, double reach)
{
    const double d = cv::norm(detection.centroid - target.predictedAt(target.age));
    return d <= reach ? static_cast<int>(d) + 1 : outOfGate;
}

// Beyond its close gate a target is found again only by a blob of about its own size: a fleck of
// flickering texture or a fragment far from where it was expected is not the insect that turned.
int leftoverCost(const Target& detection, const Target& target, double reach)
{
    const double ratio = TargetTracker::leftoverAreaRatio;
    if (detection.area > 0 && target.area > 0 &&
        (detection.area > ratio * target.area || target.area > ratio * detection.area))
        return outOfGate;
    return predictedCost(detection, target, reach);
}

} // namespace

double TargetTracker::closeGate(const Target& t) const
{
    if (t.velocitySamples < stepsForCloseGate)
        return gate;
    return std::min<double>(gate, closeGateBase + closeGatePerSpeed * cv::norm(t.velocity) +
                                      strayPerFrame * t.age);
}

void TargetTracker::fill_predicted_costs(const QList<Target*>& rows, const QList<Target*>& columns)
{
    cost.create(rows.size(), columns.size());
    for (int j = 0; j < columns.size(); ++j) {
        const double reach = closeGate(*columns[j]);
        for (int i = 0; i < rows.size(); ++i)
            cost(i, j) = predictedCost(*rows[i], *columns[j], reach);
    }
}

cv::Mat_<int> TargetTracker::cost_matrix(const QList<Target*>& rows, const QList<Target*>& columns)
{
    cv::Mat_<int> out;
    fill_cost_matrix(rows, columns, out);
    return out;
}

// Without prediction the solver's choice is final: a pair that fails the distance test matches
// nothing.
int TargetTracker::matched_column(int row, Target* d, int columns) const
{
    const bool log = debugOn();
    if (log)
        qDebug("Looking at detected # %d", d->id);
    for (int j = 0; j < columns; ++j) {
        if (log)
            qDebug("Looking at tracked # %d", j);
        if (assignment(row, j) == 0 && cost(row, j) < maxDistance + 1)
            return j;
    }
    return -1;
}

// Detections and targets that the close gates left apart are paired within the wide gate: a
// target that turned or sped up is found again, yet never taken from a closer detection.
void TargetTracker::matchLeftovers(const QList<Target*>& detected, const QList<Target*>& tracked)
{
    leftRows.clear();
    leftColumns.clear();
    takenColumns.assign(static_cast<size_t>(tracked.size()), 0);
    for (size_t i = 0; i < matchOf.size(); ++i) {
        if (matchOf[i] < 0)
            leftRows.push_back(static_cast<int>(i));
        else
            takenColumns[static_cast<size_t>(matchOf[i])] = 1;
    }
    for (int j = 0; j < tracked.size(); ++j)
        if (!takenColumns[static_cast<size_t>(j)])
            leftColumns.push_back(j);
    if (leftRows.empty() || leftColumns.empty())
        return;
    const int rows = static_cast<int>(leftRows.size()), cols = static_cast<int>(leftColumns.size());
    leftCost.create(rows, cols);
    for (int c = 0; c < cols; ++c)
        for (int r = 0; r < rows; ++r)
            leftCost(r, c) = leftoverCost(*detected[leftRows[static_cast<size_t>(r)]],
                                          *tracked[leftColumns[static_cast<size_t>(c)]], gate);
    solveInParts(leftCost, leftMatch);
    for (int r = 0; r < rows; ++r)
        if (leftMatch[static_cast<size_t>(r)] >= 0)
            matchOf[static_cast<size_t>(leftRows[static_cast<size_t>(r)])] =
                leftColumns[static_cast<size_t>(leftMatch[static_cast<size_t>(r)])];
}

// Costs beyond the gates link nothing: the rows and columns that gated costs link form groups
// (insects far apart from each other), each paired on its own. The pairs are as good as those of
// one assignment over the whole matrix (only ties may fall otherwise), while the solver's work,
// which grows with the cube of its matrix's side, stays small on a frame of many blobs.
void TargetTracker::solveInParts(const cv::Mat_<int>& costs, std::vector<int>& columnOfRow)
{
    const int rows = costs.rows;
    columnOfRow.assign(static_cast<size_t>(rows), -1);
    groupByGates(costs);
    for (size_t first = 0; first < byGroup.size();) {
        const int group = parent[static_cast<size_t>(byGroup[first])];
        partRows.clear();
        partColumns.clear();
        for (; first < byGroup.size() && parent[static_cast<size_t>(byGroup[first])] == group;
             ++first) {
            const int node = byGroup[first];
            if (node < rows)
                partRows.push_back(node);
            else
                partColumns.push_back(node - rows);
        }
        solvePart(costs, columnOfRow);
    }
}

// Rows are nodes 0 .. rows - 1, columns the nodes after them; `parent` ends as each node's
// group, and `byGroup` lists the nodes group by group.
void TargetTracker::groupByGates(const cv::Mat_<int>& costs)
{
    const int rows = costs.rows, nodes = costs.rows + costs.cols;
    parent.resize(static_cast<size_t>(nodes));
    byGroup.resize(static_cast<size_t>(nodes));
    for (int n = 0; n < nodes; ++n)
        parent[static_cast<size_t>(n)] = byGroup[static_cast<size_t>(n)] = n;
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < costs.cols; ++j)
            if (costs(i, j) < outOfGate)
                parent[static_cast<size_t>(rootOf(parent, i))] = rootOf(parent, rows + j);
    for (int n = 0; n < nodes; ++n)
        parent[static_cast<size_t>(n)] = rootOf(parent, n);
    std::stable_sort(byGroup.begin(), byGroup.end(), [this](int a, int b) {
        return parent[static_cast<size_t>(a)] < parent[static_cast<size_t>(b)];
    });
}

// The assignment of one group, partRows against partColumns.
void TargetTracker::solvePart(const cv::Mat_<int>& costs, std::vector<int>& columnOfRow)
{
    if (partRows.empty() || partColumns.empty())
        return;
    const int pr = static_cast<int>(partRows.size()), pc = static_cast<int>(partColumns.size());
    partCost.create(pr, pc);
    for (int a = 0; a < pr; ++a)
        for (int b = 0; b < pc; ++b)
            partCost(a, b) =
                costs(partRows[static_cast<size_t>(a)], partColumns[static_cast<size_t>(b)]);
    partCost.copyTo(partAssignment);
    solver.solve(partAssignment);
    for (int a = 0; a < pr; ++a)
        for (int b = 0; b < pc; ++b)
            if (partAssignment(a, b) == 0 && partCost(a, b) < outOfGate)
                columnOfRow[static_cast<size_t>(partRows[static_cast<size_t>(a)])] =
                    partColumns[static_cast<size_t>(b)];
}

void TargetTracker::track(QList<Target*>& detected, QList<Target*>& tracked)
{
    age_tracked_targets(tracked);
    const int columns = detected.isEmpty() ? 0 : tracked.size();
    solver.setDebug(false);
    // With prediction every pair is known before any target moves; otherwise each detection is
    // paired as it comes, its messages in between.
    if (prediction && columns > 0) {
        fill_predicted_costs(detected, tracked);
        solveInParts(cost, matchOf);
        if (debugOn())
            display("Costs", cost, detected, tracked);
        matchLeftovers(detected, tracked);
    } else if (columns > 0) {
        fill_cost_matrix(detected, tracked, cost);
        cost.copyTo(assignment);
        solver.solve(assignment);
        if (debugOn()) {
            display("Costs", cost, detected, tracked);
            display("Results", assignment, detected, tracked);
        }
    }

    TargetPool* pool = TargetPool::instance();
    const bool log = debugOn();
    for (int i = 0; i < detected.size(); ++i) {
        Target* d = detected[i];
        const int j = columns == 0 ? -1
                      : prediction ? matchOf[static_cast<size_t>(i)]
                                   : matched_column(i, d, columns);
        if (j < 0) {
            d->age = 0;
            d->agemovement = 0;
            tracked.append(d);
            continue;
        }
        Target* t = tracked[j];
        if (log)
            qDebug("Target Tracked #%d matched", j);
        if (prediction)
            t->followStep(*d, t->age, newStepWeight);
        t->update(*d);
        t->agemovement += 1;
        t->age = 0;
        if (log)
            qDebug("Update target %d with target %d", t->id, d->id);
        pool->release(d);
    }
    // Every detection is now merged or tracked; erase keeps the list's buffer for the next frame.
    detected.erase(detected.begin(), detected.end());
}

void display(const QString& title, const cv::Mat_<int>& matrix, QList<Target*>& rows,
             QList<Target*>& columns)
{
    QString text = title + QLatin1String("\n\t");
    for (int j = 0; j < columns.size(); ++j)
        text += QString::number(columns[j]->id) + QLatin1Char('\t');
    text += QLatin1Char('\n');
    for (int i = 0; i < rows.size(); ++i) {
        text += QString::number(rows[i]->id) + QLatin1String(":\t");
        for (int j = 0; j < columns.size(); ++j)
            text += QString::number(matrix(i, j)) + QLatin1Char('\t');
        text += QLatin1Char('\n');
    }
    // Quoted like any QDebug string, but with real line breaks and tabs so the matrix reads
    // as a table.
    qDebug().noquote() << QLatin1Char('"') + text + QLatin1Char('"');
}
