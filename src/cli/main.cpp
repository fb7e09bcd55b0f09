// orvane-count: the headless front end of the analysis run.
#include "countcommand.h"
#include "countsignals.h"

#include <QCoreApplication>
#include <QStringList>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    installStopSignals();
    return countMain(arguments, {std::cout, std::cerr, isatty(STDERR_FILENO) == 1});
}
