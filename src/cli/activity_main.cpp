// orvane-activity: activity over time across the analysed videos of folders.
#include "activitycommand.h"

#include <QApplication>
#include <QCoreApplication>
#include <QStringList>
#include <iostream>
#include <memory>

namespace
{

QStringList argumentsOf(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

// Charts are drawn with the widget toolkit, which needs a platform. The command never shows a
// window, so it draws offscreen (unless told otherwise): a display that is set but unreachable,
// as over an old ssh session, would end it before it wrote anything.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv, bool drawing)
{
    if (!drawing)
        return std::make_unique<QCoreApplication>(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QApplication>(argc, argv);
}

} // namespace

int main(int argc, char** argv)
{
    const QStringList arguments = argumentsOf(argc, argv);
    ActivityOptions options;
    const bool drawing =
        parseActivityArguments(arguments, options).isEmpty() && !options.plotPath.isNull();
    const auto app = makeApplication(argc, argv, drawing);
    return activityMain(arguments, std::cout, std::cerr);
}
