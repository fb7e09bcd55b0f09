#include "folderprogress.h"

#include <QtGlobal>
#include <sys/ioctl.h>
#include <unistd.h>

namespace
{
constexpr qint64 terminalInterval = 200; // ms between redraws of the live lines
constexpr qint64 plainInterval = 10000;  // ms between plain progress lines
const char* const eraseBelow = "\033[J";

// A live line longer than the terminal would wrap and spoil the redrawing of the lines above.
int terminalColumns()
{
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
        return size.ws_col - 1;
    return 79;
}
} // namespace

QString FolderProgress::line(const Running& folder)
{
    const FolderRecords::Progress* p = folder.progress;
    if (!p)
        return folder.folder + QStringLiteral(": starting");
    QString text = QStringLiteral("%1: [%2/%3] %4 frame %5")
                       .arg(folder.folder)
                       .arg(p->video)
                       .arg(p->videos)
                       .arg(p->name)
                       .arg(p->frame, 0, 'f', 0);
    if (p->frameCount > 0) {
        const double percent = qBound(0.0, 100.0 * p->frame / p->frameCount, 100.0);
        text += QStringLiteral("/%1 (%2%)").arg(p->frameCount, 0, 'f', 0).arg(percent, 0, 'f', 0);
    }
    return text + QStringLiteral(", %1 fps").arg(p->fps, 0, 'f', 1);
}

void FolderProgress::print(const QString& text)
{
    err << text.toStdString() << '\n';
}

void FolderProgress::clear()
{
    if (mode != Terminal || drawn == 0)
        return;
    err << "\033[" << drawn << 'A' << eraseBelow << std::flush;
    drawn = 0;
}

void FolderProgress::message(const QString& folder, const QString& text)
{
    clear();
    print(folder + QStringLiteral(": ") + text);
    err.flush();
    lastShown = -1; // the live lines come back at once
}

void FolderProgress::started(const QString& folder)
{
    if (mode == Plain)
        message(folder, QStringLiteral("started"));
}

void FolderProgress::finished(const QString& folder, const QString& result)
{
    if (mode != Quiet)
        message(folder, result);
}

void FolderProgress::show(const QVector<Running>& running)
{
    if (mode == Quiet)
        return;
    const qint64 now = clock.elapsed();
    const qint64 interval = mode == Terminal ? terminalInterval : plainInterval;
    if (lastShown >= 0 && now - lastShown < interval)
        return;
    if (mode == Plain && lastShown < 0) {
        lastShown = now; // the first plain lines after the interval, not at once
        return;
    }
    lastShown = now;
    clear();
    const int columns = mode == Terminal ? terminalColumns() : -1;
    for (const Running& folder : running)
        print(columns > 0 ? line(folder).left(columns) : line(folder));
    err.flush();
    if (mode == Terminal)
        drawn = running.size();
}
