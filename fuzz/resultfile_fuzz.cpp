// Result files as the window reads them back: any bytes give records or an end, never a fault.
#include "csvfile.h"
#include "fuzzfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString video = fuzzing::scratchFolder() + QStringLiteral("/clip.mp4");
    static const bool folder = QDir().mkpath(fuzzing::scratchFolder() + "/exportCSV");
    if (!folder || !fuzzing::writeInput(CsvFile::resultPath(video), data, size))
        return 0;
    CsvFile csv;
    if (csv.open(video, CsvMode::Read) != 1)
        return 0;
    double frame = 0;
    int x = 0, y = 0, in = 0, out = 0;
    QString timestamp;
    // A short line reads as no record, not as the end: go on to the file's real end.
    while (!csv.atEnd())
        csv.readResult(frame, x, y, in, out, timestamp);
    csv.close();
    return 0;
}
