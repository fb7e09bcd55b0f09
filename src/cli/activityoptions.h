#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

// The settings of one orvane-activity run, as given on its command line.
struct ActivityOptions {
    int binSeconds = 3600;
    QDate from; // invalid: from the first day with data
    QDate to;   // invalid: up to the last day with data
    bool profile = false;
    QString csvPath;
    QString columnsPath;
    QString plotPath;
    bool help = false;
    QStringList directories;
};

enum ActivityExit {
    ActivityDone = 0,
    ActivityWriteFailed = 1,
    ActivityIncomplete = 2,
    ActivityUsage = 64
};

// Fills `options` from the arguments that follow the program name; returns an empty text, or
// the usage error.
QString parseActivityArguments(const QStringList& arguments, ActivityOptions& options);

QString activityUsage();
