#pragma once

#include <QFrame>
#include <QString>
#include <memory>

class QLabel;
class QPushButton;
class QThread;

// Shown while no working directory is chosen: offers the demo folder (a sample video with its
// regions, made on a thread of its own the first time) or choosing a folder.
class FirstStartPanel : public QFrame
{
    Q_OBJECT
public:
    explicit FirstStartPanel(QWidget* parent = nullptr);
    // Waits for a demo folder being made.
    ~FirstStartPanel() override;

signals:
    // The demo folder is ready to be the working directory.
    void demoReady(const QString& folder);
    void demoFailed(const QString& problem);
    void chooseFolder();

private:
    void prepareDemo();
    void demoPrepared();

    QLabel* hint;
    QPushButton* demoButton;
    QPushButton* chooseButton;
    std::unique_ptr<QThread> maker;
    QString problem; // written by the maker, read once it has finished
};
