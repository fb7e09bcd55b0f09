#pragma once

// Every fuzz target reads its input from a file, as the program does: this writes the bytes to
// a fixed path in a private temporary folder (on a RAM disk where there is one).
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace fuzzing
{

inline QString scratchFolder()
{
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/orvane-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/orvane-fuzz-XXXXXX"));
    return dir.path();
}

inline bool writeInput(const QString& path, const uint8_t* data, size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const qint64 length = static_cast<qint64>(size);
    return file.write(reinterpret_cast<const char*>(data), length) == length;
}

} // namespace fuzzing
