#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <ostream>

// Collects the Qt messages emitted while it is alive.
class MessageCapture
{
public:
    MessageCapture() { previous = qInstallMessageHandler(&MessageCapture::handle); }
    ~MessageCapture() { qInstallMessageHandler(previous); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    static QStringList& debugs() { return store(QtDebugMsg); }
    static QStringList& warnings() { return store(QtWarningMsg); }
    static void clear()
    {
        debugs().clear();
        warnings().clear();
    }
    static int count(const QStringList& list, const QString& text) { return list.count(text); }

private:
    static QStringList& store(QtMsgType type)
    {
        static QStringList debugList;
        static QStringList warningList;
        return type == QtDebugMsg ? debugList : warningList;
    }
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& text)
    {
        if (type == QtDebugMsg || type == QtWarningMsg)
            store(type).append(text);
    }

    QtMessageHandler previous = nullptr;
};

// Readable failure messages for QString and QStringList comparisons.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os)
{
    *os << '[' << l.join(QStringLiteral("|")).toStdString() << ']';
}
