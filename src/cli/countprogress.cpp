#include "countprogress.h"

namespace
{
constexpr qint64 terminalInterval = 200; // ms between updates of the live line
constexpr qint64 plainInterval = 5000;   // ms between plain lines
} // namespace

void CountProgress::beginVideo(int index, int total, const QString& name, double frames, double fps)
{
    Q_UNUSED(fps);
    prefix = QStringLiteral("[%1/%2] %3").arg(index).arg(total).arg(name);
    frameCount = frames;
    startPos = position = 0;
    clock.start();
    lastShown = 0;
    if (mode == Plain)
        err << prefix.toStdString() << ": started" << std::endl;
}

void CountProgress::frame(double framePos)
{
    if (mode == Quiet)
        return;
    if (startPos == 0)
        startPos = framePos;
    position = framePos;
    const qint64 now = clock.elapsed();
    if (now - lastShown < (mode == Terminal ? terminalInterval : plainInterval))
        return;
    lastShown = now;
    print(false);
}

void CountProgress::print(bool final)
{
    const double seconds = clock.elapsed() / 1000.0;
    const double done = position - startPos + 1;
    const double rate = seconds > 0 ? done / seconds : 0;
    QString line = QStringLiteral("%1: frame %2").arg(prefix).arg(position, 0, 'f', 0);
    if (frameCount > 0) {
        const double percent = qBound(0.0, 100.0 * position / frameCount, 100.0);
        line += QStringLiteral("/%1 (%2%)").arg(frameCount, 0, 'f', 0).arg(percent, 0, 'f', 0);
    }
    line += QStringLiteral(", %1 fps").arg(rate, 0, 'f', 1);
    if (!final && frameCount > position && rate > 0)
        line += QStringLiteral(", %1 s left").arg((frameCount - position) / rate, 0, 'f', 0);
    if (mode == Terminal)
        err << '\r' << line.toStdString() << "\033[K" << std::flush;
    else
        err << line.toStdString() << std::endl;
}

void CountProgress::endVideo(long frames, double seconds)
{
    if (mode == Quiet)
        return;
    const QString line =
        QStringLiteral("%1: %2 frames in %3 s").arg(prefix).arg(frames).arg(seconds, 0, 'f', 1);
    if (mode == Terminal)
        err << '\r' << line.toStdString() << "\033[K" << std::endl;
    else
        err << line.toStdString() << std::endl;
}
