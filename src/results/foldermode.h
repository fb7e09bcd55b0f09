#pragma once

#include "countingmode.h"

#include <QString>
#include <QStringList>

// The counting mode a folder's next run takes when none is chosen: a folder whose results were
// all made with one mode keeps it, so that a season is counted one way throughout; results
// without a record were made before records were kept, with classic counting; a folder without
// results starts with strict counting. A folder whose results mix the modes has no default.
//
//   const FolderMode folder = FolderMode::of({"/traps/trap-1"});
//   if (folder.mixed()) refuse(folder.mixedText());  else run(folder.mode());
class FolderMode
{
public:
    static constexpr CountingMode forNewFolders = CountingMode::Strict;

    // The complete results of the videos listed in `directories`, taken together.
    static FolderMode of(const QStringList& directories);

    bool mixed() const { return classic > 0 && strict > 0; }
    // The default; meaningless when mixed().
    CountingMode mode() const;
    int results() const { return classic + strict; }
    // What a mixed folder tells the user, naming the directories.
    QString mixedText() const;

private:
    QStringList directories;
    int classic = 0;
    int strict = 0;
};
