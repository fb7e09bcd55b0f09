#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initOrvaneResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace Startup
{

void initResources()
{
    initOrvaneResources();
}

QString styleSheet(const QString& currentDirectory)
{
    initResources();
    const QString local = QDir(currentDirectory).filePath(QStringLiteral("stylesheet.qss"));
    QFile file(QFile::exists(local) ? local : QStringLiteral(":/style/stylesheet.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = file.readAll();
    const int end = bytes.indexOf('\0');
    return QString::fromLatin1(end < 0 ? bytes : bytes.left(end));
}

void applyStyleSheet(QApplication& app)
{
    app.setStyleSheet(styleSheet(QDir::currentPath()));
}

void quietDebugOutputUnlessAsked()
{
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
}

} // namespace Startup
