#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// A file written without ever following a link at its name: the bytes go to a new hidden file
// in the same folder, created exclusively (so neither a link nor another file there is opened),
// every write is checked, and commit() syncs it, closes it (checked too) and renames it over the
// final name. A link at the final name is replaced by the file, never written through; with
// AtFinalName::Keep nothing that is already there is replaced at all. A name the user gave for
// an output may be a device or a pipe (/dev/stdout, a FIFO): with AtFinalName::WriteToDevice
// such a name is written to directly, with every write and the close checked just the same.
//
//   SafeFile file(path);
//   if (!file.open()) fail(file.errorText());
//   file.write(bytes);                 // or hand file.device() to a QImage, QTextStream, ...
//   if (!file.commit()) fail(file.errorText());   // names `path` and the system's reason
//
// A SafeFile destroyed without commit() removes its temporary file.
class SafeFile
{
public:
    enum class AtFinalName { Replace, Keep, WriteToDevice };

    explicit SafeFile(const QString& path, AtFinalName rule = AtFinalName::Replace);
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    bool open();
    // The open temporary file; its failures are found again by commit().
    QIODevice* device() { return &file; }
    bool write(const QByteArray& bytes);
    bool commit();
    void cancel();

    const QString& path() const { return finalPath; }
    QString temporaryPath() const { return file.fileName(); }
    const QString& errorText() const { return error; }
    // True when commit() failed because AtFinalName::Keep found something at the name.
    bool finalNameTaken() const { return taken; }

    // The hidden temporary names of this class beside `path` start with this.
    static QString temporaryPrefix(const QString& path);

private:
    bool fail(const QString& reason);
    bool openDevice();

    QString finalPath;
    AtFinalName rule;
    QFile file;
    QString error;
    bool taken = false;
    bool failed = false;
    bool direct = false;
};

// Writes `bytes` to `path` through a SafeFile; false with `error` naming the file otherwise.
bool writeFileSafely(const QString& path, const QByteArray& bytes, QString* error = nullptr,
                     SafeFile::AtFinalName rule = SafeFile::AtFinalName::Replace);

// Opens `file` (its name already set) for writing as a new file, after removing whatever has
// that name (a file or a link, never what a link points to). For files that must keep a fixed
// name while they grow, such as a result's unfinished events.
bool createAfresh(QFile& file, QString* reason = nullptr);

// Replaces `to` by `from` in one step of the file system (no moment without `to`); a link at
// `to` is replaced, not followed. The folder is synced so that the rename reaches the disk.
bool replaceFile(const QString& from, const QString& to, QString* reason = nullptr);

// Gives `from` the name `to` only when nothing, not even a dangling link, has that name.
// False with `taken` set when something is there.
bool placeFile(const QString& from, const QString& to, bool* taken, QString* reason = nullptr);

// Marks an open file as in use while it stays open (see InUseMark).
void markInUse(QFile& file);

// Syncs an open file's data to the disk.
bool syncToDisk(QFile& file);

// Checks that everything written to standard output reached it: false on a full disk, a closed
// pipe or /dev/full, whose error the caller reports as a failure of "standard output".
bool flushStandardOutput();

// Marks a temporary file as in use for as long as this object lives, with a lock the system drops
// when the process ends however it ends; removeLeftovers() leaves a file in use alone.
class InUseMark
{
public:
    explicit InUseMark(const QString& path);
    ~InUseMark();
    InUseMark(const InUseMark&) = delete;
    InUseMark& operator=(const InUseMark&) = delete;

private:
    int fd = -1;
};

// Removes the files of `folder` whose names `ours` matches (whole name), that were last changed
// before `before` and that no live process marks as in use: the temporaries a killed run of ours
// left behind. Returns the names removed.
QStringList removeLeftovers(const QString& folder, const QRegularExpression& ours,
                            const QDateTime& before);

// The pattern of SafeFile's hidden temporary names.
QRegularExpression safeFileTemporaries();
