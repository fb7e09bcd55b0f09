#pragma once

#include <QFile>
#include <QString>
#include <QTextStream>

enum class CsvMode { Read, Append };

// A video's result file "exportCSV/<base name>.csv": the header Frame;X;Y;In;Out;Timestamp and
// one line per counting event. One object serves one open/close cycle:
//
//   CsvFile csv;
//   if (csv.open(videoPath, CsvMode::Append) == 1) {
//       csv.writeResult(4711, 352, 198, 1, 0, "2015-06-12_14:03:27");
//       csv.close();
//   }
class CsvFile
{
public:
    CsvFile();
    ~CsvFile();
    CsvFile(const CsvFile&) = delete;
    CsvFile& operator=(const CsvFile&) = delete;

    // 1 on success, -1 on failure.
    int open(const QString& videoPath, CsvMode mode);
    // 0 when written, -1 when not open or the write failed.
    int writeResult(double frame, int x, int y, int in, int out, const QString& timestamp);
    // 1 with the fields filled, -1 when not open or no further record.
    int readResult(double& frame, int& x, int& y, int& in, int& out, QString& timestamp);
    // True when no line is left to read: tells the end of the file from a short line, which
    // readResult reports the same way.
    bool atEnd() const { return !isOpen || stream.atEnd(); }
    // 1 when closed, -1 when it was not open (or the final flush failed).
    int close();

    static QString resultPath(const QString& videoPath);
    static void removeResultFile(const QString& videoPath);
    static const char* header() { return "Frame;X;Y;In;Out;Timestamp"; }
    // One event as writeResult writes it, with its line end.
    static QString recordLine(double frame, int x, int y, int in, int out,
                              const QString& timestamp);

private:
    QFile file;
    QTextStream stream;
    bool isOpen = false;
};
