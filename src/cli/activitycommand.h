#pragma once

#include "activityoptions.h"

#include <QStringList>
#include <ostream>

// orvane-activity as a function of its options, so that tests call it in-process. Drawing a
// picture (--plot) needs a QApplication; everything else runs with a QCoreApplication.
int runActivity(const ActivityOptions& options, std::ostream& out, std::ostream& err);

// Parses the arguments, then runs; usage errors give ActivityUsage.
int activityMain(const QStringList& arguments, std::ostream& out, std::ostream& err);
