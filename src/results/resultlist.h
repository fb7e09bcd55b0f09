#pragma once

#include "result.h"

#include <QVector>
#include <vector>

// The events of the video on screen, as the result table lists them. The result file always holds
// every event; this list is capped so that the table stays small on a busy video:
//   - loading a result file keeps its first Capacity events (add() refuses the rest);
//   - during a run a frame's events are added together while the list holds fewer than
//     Capacity - 1 entries, so a frame with several events can take it a little past Capacity;
//   - the table shows the first Capacity entries and totals all of them.
class ResultList
{
public:
    static constexpr int Capacity = 2001;

    // Appends one loaded event; false, leaving the list as it is, once it holds Capacity entries.
    bool add(const Result& event);
    // Appends all events of one analysed frame; false when there are none or the list has
    // stopped taking a run's events.
    bool addFrameEvents(const std::vector<Result>& events);
    void clear() { entries.clear(); }

    const QVector<Result>& all() const { return entries; }
    int size() const { return entries.size(); }
    const Result& at(int index) const { return entries.at(index); }
    bool isFull() const { return entries.size() >= Capacity; }
    bool contains(int index) const { return index >= 0 && index < entries.size(); }

private:
    QVector<Result> entries;
};
