#include "mainwindow.h"

#include "elementlistmodel.h"
#include "error.h"
#include "exporterregistry.h"
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

    m_model = std::make_unique<ElementListModel>();
    // Until exporters can be chosen, a document uses the first one installed.
    m_model->setExporter(ExporterRegistry::instance().exporters().value(0));
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
    const int bodies = m_model ? m_model->rowCount() : 0;
    m_placeholder->setText(bodies == 0 ? tr("Empty document") : tr("%n body(s)", nullptr, bodies));
}

void MainWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    GMainWindow::changeEvent(event);
}

void MainWindow::setModel(std::unique_ptr<ElementListModel> model)
{
    m_model = std::move(model);
    retranslate();
}

bool MainWindow::loadFile(const QString& fileName)
{
    auto model = std::make_unique<ElementListModel>();
    model->setExporter(m_model->exporter());
    QString problem;
    try {
        if (!model->load(fileName))
            problem = tr("Can't open %1").arg(fileName);
    } catch (const Error& error) {
        problem = error.message();
    }
    if (!problem.isEmpty()) {
        // The window keeps the document it had.
        Reporter::current().report(Reporter::Warning, tr("Error"), problem, this);
        return false;
    }
    setModel(std::move(model));
    return true;
}

bool MainWindow::saveFile(const QString& fileName)
{
    if (m_model->save(fileName)) {
        m_model->setModified(false);
        return true;
    }
    Reporter::current().report(Reporter::Critical, tr("Error writing file"),
                               tr("Could not write %1. The file on disk was left as it was.").arg(fileName), this);
    return false;
}

bool MainWindow::isModified()
{
    return m_model->isModified();
}

void MainWindow::saveCustomSettings(QSettings&)
{
}

void MainWindow::restoreCustomSettings(QSettings&)
{
}
