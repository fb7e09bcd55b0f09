#pragma once

#include <QElapsedTimer>
#include <QString>
#include <ostream>

// Progress of an orvane-count run on standard error: a line rewritten in place on a terminal,
// a plain line every few seconds otherwise, nothing when quiet.
class CountProgress
{
public:
    enum Mode { Quiet, Terminal, Plain };

    CountProgress(std::ostream& err, Mode mode) : err(err), mode(mode) {}

    void beginVideo(int index, int total, const QString& name, double frameCount, double fps);
    // Called after each analysed frame with the position of that frame.
    void frame(double framePos);
    void endVideo(long frames, double seconds);

private:
    void print(bool final);

    std::ostream& err;
    Mode mode;
    QString prefix;
    double frameCount = 0;
    double startPos = 0;
    double position = 0;
    QElapsedTimer clock;
    qint64 lastShown = 0;
};
