#include "countingmodebox.h"

#include "foldermode.h"
#include "settingsstore.h"

#include <QComboBox>
#include <QEvent>
#include <QSettings>

namespace
{
const char* const settingKey = "countingMode";
} // namespace

CountingModeBox::CountingModeBox(QComboBox* box, QWidget* follow, QObject* parent)
    : QObject(parent), box(box), follow(follow)
{
    box->clear();
    // The item order follows CountingMode.
    box->addItem(tr("classic counting"));
    box->addItem(tr("strict counting"));
    box->setCurrentIndex(static_cast<int>(storedMode()));
    box->setEnabled(follow->isEnabled());
    connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] {
        if (!followingFolder)
            storeMode(mode());
    });
    follow->installEventFilter(this);
}

CountingMode CountingModeBox::mode() const
{
    return box->currentIndex() == static_cast<int>(CountingMode::Strict) ? CountingMode::Strict
                                                                         : CountingMode::Classic;
}

void CountingModeBox::followFolder(const QString& directory)
{
    // The folder is listed again on many occasions (its line edit losing focus to a question,
    // say): only a folder newly opened may set the box, never undo the user's choice.
    if (directory == followedDirectory)
        return;
    followedDirectory = directory;
    const FolderMode folder = FolderMode::of({directory});
    if (folder.mixed())
        return;
    followingFolder = true;
    box->setCurrentIndex(static_cast<int>(folder.mode()));
    followingFolder = false;
}

CountingMode CountingModeBox::storedMode()
{
    CountingMode mode = CountingMode::Classic;
    countingModeFromName(openSettings().value(QLatin1String(settingKey)).toString(), mode);
    return mode;
}

void CountingModeBox::storeMode(CountingMode mode)
{
    QSettings settings = openSettings();
    settings.setValue(QLatin1String(settingKey), countingModeName(mode));
}

bool CountingModeBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == follow && event->type() == QEvent::EnabledChange)
        box->setEnabled(follow->isEnabled());
    return QObject::eventFilter(watched, event);
}
