#pragma once

#include <QString>

class QApplication;

namespace Startup
{

// Registers the resources compiled into the window's library (style sheet, logos, icon).
void initResources();

// The style sheet to use: "stylesheet.qss" in `currentDirectory` when it exists, otherwise the
// built-in one. Read as Latin-1 up to the first zero byte; empty when it cannot be read.
QString styleSheet(const QString& currentDirectory);

// Applies styleSheet() of the process's current directory to the application.
void applyStyleSheet(QApplication& app);

// The engine logs a line per frame and target at debug level: useful when tracing a problem,
// a flood on a terminal otherwise. Debug output stays off unless QT_LOGGING_RULES asks for it
// (QT_LOGGING_RULES="default.debug=true").
void quietDebugOutputUnlessAsked();

} // namespace Startup
