#pragma once

#include <QSettings>

// The application's stored settings (working directory, counting mode, import folders). Every
// part of the application that reads or stores one opens them here, so that all of them find
// the same store.
QSettings openSettings();
