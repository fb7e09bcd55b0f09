#include "firststartpanel.h"

#include "demofolder.h"

#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

FirstStartPanel::FirstStartPanel(QWidget* parent)
    : QFrame(parent),
      hint(new QLabel(tr("No working directory yet. Start with the demo folder (a sample video "
                         "with its regions, ready to process) or choose the folder of your "
                         "videos."),
                      this)),
      demoButton(new QPushButton(tr("Open the demo folder"), this)),
      chooseButton(new QPushButton(tr("Choose a folder..."), this))
{
    setObjectName(QStringLiteral("w_firstStart"));
    setFrameShape(QFrame::StyledPanel);
    hint->setWordWrap(true);
    demoButton->setObjectName(QStringLiteral("pb_demo"));
    chooseButton->setObjectName(QStringLiteral("pb_chooseFolder"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(demoButton);
    layout->addWidget(chooseButton);
    connect(demoButton, &QPushButton::clicked, this, &FirstStartPanel::prepareDemo);
    connect(chooseButton, &QPushButton::clicked, this, &FirstStartPanel::chooseFolder);
}

FirstStartPanel::~FirstStartPanel()
{
    if (maker)
        maker->wait();
}

// Making the sample video takes seconds: the window stays responsive meanwhile.
void FirstStartPanel::prepareDemo()
{
    if (maker)
        return;
    demoButton->setEnabled(false);
    hint->setText(tr("Preparing the demo folder..."));
    maker.reset(QThread::create([this] { problem = DemoFolder::prepare(); }));
    connect(maker.get(), &QThread::finished, this, &FirstStartPanel::demoPrepared);
    maker->start();
}

void FirstStartPanel::demoPrepared()
{
    maker->wait();
    maker.reset();
    demoButton->setEnabled(true);
    if (!problem.isEmpty()) {
        hint->setText(tr("The demo folder could not be made: %1").arg(problem));
        emit demoFailed(problem);
        return;
    }
    emit demoReady(DemoFolder::location());
}
