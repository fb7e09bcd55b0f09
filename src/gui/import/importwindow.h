#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <memory>

namespace Ui
{
class ImportWindow;
}
class Process_Import;
struct ImportOutcome;

// The import dialog: copies the recordings of a chosen folder into the working directory.
class ImportWindow : public QDialog
{
    Q_OBJECT
public:
    explicit ImportWindow(const QString& destination, QWidget* parent = nullptr);
    // Waits for a running import worker.
    ~ImportWindow() override;

    // Shows the dialog modally for `destination` and returns once it has closed. The dialog
    // itself stays alive until its last import has finished.
    static void runModal(const QString& destination, QWidget* parent = nullptr);

    // Rebuilds the list of importable files of the chosen folder.
    void listFiles();

public slots:
    void set_filename_videofile();
    void Import();
    void Close();
    void end_thread();
    void copy_pos(int value);
    void save_pos(int value);
    void encode_pos(int value);

private:
    void showFiles();
    void showOutcome(int index, const ImportOutcome& outcome);
    void startNextWorker();
    // Deletes the dialog now if no import runs, otherwise once the sequence has ended.
    void releaseWhenIdle();
    // At application exit: lets the current file finish, drops the rest and releases the dialog.
    void finishAtExit();

    std::unique_ptr<Ui::ImportWindow> ui;
    QString folder;
    QString pathImport;
    QStringList files;
    QString destination;
    int fileIndex = 0;
    std::unique_ptr<Process_Import> worker;
    bool importing = false;
    bool released = false;
};
