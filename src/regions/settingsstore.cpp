#include "settingsstore.h"

QSettings openSettings()
{
    return QSettings(QStringLiteral("Brellico"), QStringLiteral("Orvane"));
}
