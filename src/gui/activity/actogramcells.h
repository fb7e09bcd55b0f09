#pragma once

#include "activitytable.h"

#include <QVector>

// The cells of an actogram: one row per day, one column per bin of the day; double-plotted, each
// row shows its day and the next, so that every day appears twice, at the end of one row and the
// start of the next. Unrecorded bins give no cell, so they stay blank.
struct ActogramCell {
    int row = 0;
    int column = 0;
    int bin = 0;   // index into the table's bins
    int count = 0; // In + Out + crossings
    int level = 0; // 0 for a recorded bin without events, else 1..actogramLevels
};

inline constexpr int actogramLevels = 5;

struct Actogram {
    int rows = 0;
    int columns = 0;
    int maxCount = 0;
    QVector<ActogramCell> cells;
};

Actogram actogramOf(const ActivityTable& table, bool doublePlotted);
// The first count of a level: the levels split 1..maxCount evenly, a count belonging to the
// highest level whose start it reaches (with few distinct counts some levels stay empty).
int levelStart(int level, int maxCount);
