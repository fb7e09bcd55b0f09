#include "videoinput.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <dlfcn.h>

namespace
{
using Factory = CaptureReader* (*)();

// Where the module may be: beside the program (a build folder's programs), where the installation
// puts it relative to the programs, and in the build folder (its tests run from another folder).
QStringList moduleCandidates()
{
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QDir programs = QFileInfo(program).dir();
    return {programs.filePath(QStringLiteral(ORVANE_CAPTURE_MODULE_NAME)),
            QDir::cleanPath(programs.filePath(QStringLiteral(ORVANE_CAPTURE_MODULE_INSTALLED))),
            QStringLiteral(ORVANE_CAPTURE_MODULE_BUILT)};
}

// The module stays loaded for the program's life: its readers may be anywhere.
Factory loadFactory()
{
    QStringList tried;
    for (const QString& path : moduleCandidates()) {
        if (tried.contains(path) || !QFileInfo::exists(path))
            continue;
        tried << path;
        if (void* module = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL)) {
            if (auto factory = reinterpret_cast<Factory>(dlsym(module, "orvaneNewCaptureReader")))
                return factory;
        } else {
            qWarning("Cannot load %s: %s", qPrintable(path), dlerror());
        }
    }
    qWarning("OpenCV's video reading (%s) was not found: videos whose picture is turned cannot "
             "be read",
             ORVANE_CAPTURE_MODULE_NAME);
    return nullptr;
}
} // namespace

std::unique_ptr<CaptureReader> loadCaptureReader()
{
    static const Factory factory = loadFactory();
    return std::unique_ptr<CaptureReader>(factory ? factory() : nullptr);
}
