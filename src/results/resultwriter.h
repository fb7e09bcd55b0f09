#pragma once

#include "result.h"

#include <QFile>
#include <QString>

// The result file of one analysis. The events go into "exportCSV/NAME.csv.part", each one
// handed to the system before append() returns, and only a complete analysis turns it into
// "NAME.csv", in one rename. A video whose analysis stopped half-way therefore never has a
// result file that looks complete, and an earlier complete one stays until replaced.
//
//   ResultWriter writer;
//   if (!writer.begin(video)) fail(writer.errorText());  // the .part file, header only
//   for (each event) if (!writer.append(event)) fail(writer.errorText());
//   if (!writer.commit()) fail(writer.errorText());       // synced, then renamed to NAME.csv
//   // or writer.abandon(): closed, the .part file stays as it is
class ResultWriter
{
public:
    ResultWriter() = default;
    ~ResultWriter();
    ResultWriter(const ResultWriter&) = delete;
    ResultWriter& operator=(const ResultWriter&) = delete;

    // Creates the .part file of `videoPath` with the header line.
    bool begin(const QString& videoPath);
    bool append(const Result& event);
    // Syncs the .part file to the disk and renames it over NAME.csv.
    bool commit();
    void abandon();

    bool isOpen() const { return file.isOpen(); }
    // The file and the system's reason of the last failure.
    const QString& errorText() const { return error; }

    static QString partPath(const QString& videoPath);

private:
    bool writeAll(const QByteArray& bytes);
    bool fail(const QString& what, const QString& reason);

    QFile file;
    QString finalPath;
    QString error;
};
