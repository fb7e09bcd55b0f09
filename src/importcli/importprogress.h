#pragma once

#include <QElapsedTimer>
#include <QString>
#include <ostream>

// Progress of an orvane-import run on standard error: file k of n with the copy and conversion
// percentages, as a line rewritten in place on a terminal, as plain lines otherwise (one when a
// file starts, one every few seconds, one when it ends), nothing when quiet.
//
// The worker's signals call copy(), convert() and write() on the worker thread while the caller
// only waits for it, so the calls never overlap.
class ImportProgress
{
public:
    enum Mode { Quiet, Terminal, Plain };

    ImportProgress(std::ostream& err, Mode mode) : err(err), mode(mode) {}

    void beginFile(int index, int total, const QString& name, bool isStream);
    // The worker's values: copy 1 to 100, the tool's phases its number plus 1.
    void copy(int value);
    void convert(int value);
    void write(int value);
    // `result` says what became of the file, e.g. "copied as rec.mp4".
    void endFile(const QString& result);

private:
    void changed();
    QString line() const;
    void show(const QString& text, bool final);

    std::ostream& err;
    Mode mode;
    QString prefix;
    bool stream = false;
    int copied = 0;
    int converted = 0;
    int written = 0;
    QElapsedTimer clock;
    qint64 lastShown = 0;
};
