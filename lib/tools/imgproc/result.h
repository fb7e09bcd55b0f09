#pragma once

#include <QMetaType>
#include <QString>

// One counting event. A line crossing has in and out both 1; an area event exactly one of them.
struct Result {
    double frame = 0;
    int x = 0;
    int y = 0;
    int in = 0;
    int out = 0;
    QString timestamp; // "yyyy-MM-dd_hh:mm:ss", empty when built without a time
};

inline bool operator==(const Result& a, const Result& b)
{
    return a.frame == b.frame && a.x == b.x && a.y == b.y && a.in == b.in && a.out == b.out &&
           a.timestamp == b.timestamp;
}

Q_DECLARE_METATYPE(Result)
