#include "importprogress.h"

#include <QtGlobal>

namespace
{
constexpr qint64 terminalInterval = 200; // ms between updates of the live line
constexpr qint64 plainInterval = 5000;   // ms between plain lines

int toolPercent(int value)
{
    return qBound(0, value - 1, 100);
}
} // namespace

void ImportProgress::beginFile(int index, int total, const QString& name, bool isStream)
{
    prefix = QStringLiteral("[%1/%2] %3").arg(index).arg(total).arg(name);
    stream = isStream;
    copied = converted = written = 0;
    clock.start();
    lastShown = 0;
    if (mode == Plain)
        show(prefix + QStringLiteral(": started"), true);
    else if (mode == Terminal)
        show(line(), false);
}

void ImportProgress::copy(int value)
{
    copied = qBound(0, value, 100);
    changed();
}

void ImportProgress::convert(int value)
{
    converted = toolPercent(value);
    changed();
}

void ImportProgress::write(int value)
{
    written = toolPercent(value);
    changed();
}

void ImportProgress::changed()
{
    if (mode == Quiet)
        return;
    const qint64 now = clock.elapsed();
    if (now - lastShown < (mode == Terminal ? terminalInterval : plainInterval))
        return;
    lastShown = now;
    show(line(), mode == Plain);
}

QString ImportProgress::line() const
{
    QString text = QStringLiteral("%1: copy %2%").arg(prefix).arg(copied);
    if (stream)
        text += QStringLiteral(", convert %1%, write %2%").arg(converted).arg(written);
    return text;
}

void ImportProgress::endFile(const QString& result)
{
    if (mode != Quiet)
        show(QStringLiteral("%1: %2").arg(prefix, result), true);
}

void ImportProgress::show(const QString& text, bool final)
{
    if (mode == Terminal)
        err << '\r' << text.toStdString() << "\033[K" << (final ? "\n" : "") << std::flush;
    else
        err << text.toStdString() << std::endl;
}
