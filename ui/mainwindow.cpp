#include "mainwindow.h"

#include "gaction.h"
#include "reporter.h"

#include <QEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

MainWindow::MainWindow()
    : GMainWindow(NewAction | OpenAction | SaveAction)
{
    setObjectName(QStringLiteral("MainWindow"));
    resize(1024, 720);

    m_placeholder = new QLabel(this);
    m_placeholder->setObjectName(QStringLiteral("centralWidget"));
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setEnabled(false);
    setCentralWidget(m_placeholder);
    menuBar()->setObjectName(QStringLiteral("menuBar"));
    statusBar()->setObjectName(QStringLiteral("statusBar"));

    createMenusAndToolBars();
    retranslate();
}

MainWindow::~MainWindow() = default;

void MainWindow::createMenusAndToolBars()
{
    m_fileMenu = menuBar()->addMenu(QString());
    m_fileMenu->addAction(newAction());
    m_fileMenu->addAction(openAction());
    createRecentFileMenu(m_fileMenu);
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(closeAction());
    m_fileMenu->addAction(saveAction());
    m_fileMenu->addAction(saveAsAction());
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(exitAction());
    menuBar()->addSeparator();

    m_helpMenu = menuBar()->addMenu(QString());
    m_helpMenu->addAction(aboutAction());
    m_helpMenu->addAction(preferencesAction());
    if (updateCheckAction())
        m_helpMenu->addAction(updateCheckAction());
    m_helpMenu->addAction(feedbackAction());

    QToolBar* fileBar = addToolBar(tr("File"));
    fileBar->setObjectName(QStringLiteral("fileToolBar"));
    fileBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    fileBar->addAction(newAction());
    fileBar->addAction(openAction());
    fileBar->addAction(saveAction());
}

void MainWindow::retranslate()
{
    m_fileMenu->setTitle(tr("&File"));
    m_helpMenu->setTitle(tr("&Help"));
    m_placeholder->setText(tr("Empty document"));
}

void MainWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    GMainWindow::changeEvent(event);
}

bool MainWindow::loadFile(const QString& fileName)
{
    Reporter::current().report(Reporter::Warning, tr("Error"),
                               tr("Can't read %1: this version cannot open sprite sheets yet.").arg(fileName),
                               this);
    return false;
}

bool MainWindow::saveFile(const QString& fileName)
{
    Reporter::current().report(Reporter::Critical, tr("Error writing file"),
                               tr("Can't write %1: this version cannot save sprite sheets yet.").arg(fileName),
                               this);
    return false;
}

bool MainWindow::isModified()
{
    return false;
}

void MainWindow::saveCustomSettings(QSettings&)
{
}

void MainWindow::restoreCustomSettings(QSettings&)
{
}
