// mp4box on any input: it wraps what it can read and refuses the rest, without a fault; a
// refusal leaves no output behind.
#include "fuzzfile.h"
#include "h264wrapper.h"

#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The tool's progress lines would drown the fuzzer's own report.
    if (!std::freopen("/dev/null", "w", stdout))
        return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString input = fuzzing::scratchFolder() + QStringLiteral("/in.h264");
    static const QString output = fuzzing::scratchFolder() + QStringLiteral("/out.mp4");
    if (!fuzzing::writeInput(input, data, size))
        return 0;
    QFile::remove(output);
    Options options;
    options.fps = 25;
    options.input = QFile::encodeName(input).toStdString();
    options.output = QFile::encodeName(output).toStdString();
    std::string error;
    const bool wrapped = wrapH264(options, error);
    if (wrapped != QFileInfo::exists(output) || (!wrapped && error.empty()))
        std::abort();
    if (QDir(fuzzing::scratchFolder()).entryList({QStringLiteral("*.part")}, QDir::Files).size())
        std::abort(); // no temporary file may stay behind
    return 0;
}
