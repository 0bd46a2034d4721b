#include "mainwindow.h"

#include "editorsettings.h"
#include "element.h"
#include "elementlist.h"
#include "elementlistmodel.h"
#include "error.h"
#include "exporter.h"
#include "exportsettings.h"
#include "fixture.h"
#include "fixturepolygon.h"
#include "gaction.h"
#include "gapplication.h"
#include "genericsettingsfield.h"
#include "globalsettings.h"
#include "imagedetails.h"
#include "limbeditorscene.h"
#include "previewwindow.h"
#include "publisher.h"
#include "recoverystore.h"
#include "reporter.h"
#include "shapeeditor.h"
#include "tracersettings.h"
#include "undofixturelistchange.h"

#include <QAction>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpacerItem>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUndoCommand>
#include <QVBoxLayout>

namespace {
// The look of the collapsible section headers of the parameter dock.
const char sectionHeaderStyle[] =
    "background-color: qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, stop:0 rgba(237, 237, 237, 255), "
    "stop:1 rgba(200, 200, 200, 255));\n"
    "border: 1px solid rgba(0,0,0,0);\n"
    "border-bottom: 1px solid rgba(176,176,176,255);\n"
    "border-top: 1px solid rgba(249,249,249,255);\n"
    "text-align: left;\n"
    "padding-top: 2px;\n"
    "padding-bottom: 2px;\n"
    "padding-left: 8px;\n"
    "image: url(branch-closed.png);";

QList<const GenericParameter*> noParameters()
{
    return {};
}
}

MainWindow::MainWindow()
    : GMainWindow(NewAction | OpenAction | SaveAction)
{
    setObjectName(QStringLiteral("MainWindow"));
    resize(1100, 720);
    m_recovery = std::make_unique<RecoveryStore>();
    m_autosaveTimer = new QTimer(this);
    connect(m_autosaveTimer, &QTimer::timeout, this, &MainWindow::autosave);
    setAutosaveIntervalMs(EditorSettings::instance().autosaveMinutes() * 60 * 1000);
    connect(&EditorSettings::instance(), &EditorSettings::autosaveMinutesChanged, this,
            [this](int minutes) { setAutosaveIntervalMs(minutes * 60 * 1000); });
    buildForm();

    m_shapeEditor->setElement(nullptr);
    m_imageDetails->setElement(nullptr);
    elementChanged(nullptr);

    connect(m_elementsList, &ElementList::didSelectElement, this, &MainWindow::elementChanged);
    connect(m_shapeEditor, &ShapeEditor::sceneChanged, this, &MainWindow::sceneChanged);
    connect(m_exportParameters, &ExportSettings::exporterChanged, m_imageDetails, &ImageDetails::exporterChanged);
    connect(m_exportParameters, &ExportSettings::exporterChanged, m_shapeEditor, &ShapeEditor::exporterChanged);
    connect(m_exportParameters, &ExportSettings::exporterChanged, this, &MainWindow::exporterChanged);
    connect(this, &GMainWindow::fileNameChanged, this, &MainWindow::updateTitle);

    createActions();
    createMenusAndToolBars();
    retranslate();
    exporterChanged(nullptr);
    setModel(new ElementListModel);
}

MainWindow::~MainWindow()
{
    // The panels refer to the document's bodies and fixtures: let them go first.
    m_shapeEditor->setElement(nullptr);
    m_globalParameters->setGenericDataProvider(nullptr);
    m_bodyParameters->setGenericDataProvider(nullptr);
    m_fixtureParameters->setGenericDataProvider(nullptr);
    delete m_shapesDock;
    delete m_parameterDock;
    delete takeCentralWidget();
}

void MainWindow::buildForm()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->setObjectName(QStringLiteral("verticalLayout"));
    centralLayout->setSpacing(6);
    centralLayout->setContentsMargins(4, 4, 4, 4);
    m_shapeEditor = new ShapeEditor(central);
    m_shapeEditor->setObjectName(QStringLiteral("shapeEditor"));
    m_shapeEditor->setMinimumWidth(400);
    centralLayout->addWidget(m_shapeEditor);
    setCentralWidget(central);

    menuBar()->setObjectName(QStringLiteral("menuBar"));
    statusBar()->setObjectName(QStringLiteral("statusBar"));

    m_shapesDock = new QDockWidget(this);
    m_shapesDock->setObjectName(QStringLiteral("dockWidget"));
    m_shapesDock->setMinimumSize(120, 42);
    auto* shapesContents = new QWidget(m_shapesDock);
    shapesContents->setObjectName(QStringLiteral("dockWidgetContents"));
    auto* shapesLayout = new QGridLayout(shapesContents);
    shapesLayout->setObjectName(QStringLiteral("gridLayout"));
    m_elementsList = new ElementList(shapesContents);
    m_elementsList->setObjectName(QStringLiteral("elementsList"));
    shapesLayout->addWidget(m_elementsList, 0, 0);
    m_shapesDock->setWidget(shapesContents);
    addDockWidget(Qt::LeftDockWidgetArea, m_shapesDock);

    m_parameterDock = new QDockWidget(this);
    m_parameterDock->setObjectName(QStringLiteral("parameterDock"));
    m_parameterDock->setMinimumSize(320, 104);
    auto* parameterContents = new QWidget(m_parameterDock);
    parameterContents->setObjectName(QStringLiteral("dockWidgetContents_2"));
    auto* parameterLayout = new QVBoxLayout(parameterContents);
    parameterLayout->setObjectName(QStringLiteral("verticalLayout_3"));
    parameterLayout->setContentsMargins(0, 0, 0, 0);
    m_scrollArea = new QScrollArea(parameterContents);
    m_scrollArea->setObjectName(QStringLiteral("scrollArea"));
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    // The sections follow the dock's width; only their height scrolls.
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* sections = new QWidget;
    sections->setObjectName(QStringLiteral("scrollAreaWidgetContents"));
    auto* sectionsLayout = new QVBoxLayout(sections);
    sectionsLayout->setObjectName(QStringLiteral("verticalLayout_2"));
    sectionsLayout->setSpacing(0);
    sectionsLayout->setContentsMargins(0, 0, 0, 0);
    m_scrollArea->setWidget(sections);
    parameterLayout->addWidget(m_scrollArea);
    m_parameterDock->setWidget(parameterContents);
    addDockWidget(Qt::RightDockWidgetArea, m_parameterDock);

    m_exportParameters = new ExportSettings(sections);
    m_exportParameters->setObjectName(QStringLiteral("exportParameters"));
    m_exportParameters->setAutoFillBackground(true);
    addSection("exportButton", m_exportParameters);
    m_globalParameters = new GenericSettingsField(sections);
    m_globalParameters->setObjectName(QStringLiteral("globalParameters"));
    addSection("globalButton", m_globalParameters);
    m_imageDetails = new ImageDetails(sections);
    m_imageDetails->setObjectName(QStringLiteral("imageDetails"));
    m_imageDetails->setAutoFillBackground(true);
    addSection("imageButton", m_imageDetails);
    m_bodyParameters = new GenericSettingsField(sections);
    m_bodyParameters->setObjectName(QStringLiteral("bodyParameters"));
    addSection("bodyButton", m_bodyParameters);
    m_fixtureParameters = new GenericSettingsField(sections);
    m_fixtureParameters->setObjectName(QStringLiteral("fixtureParameters"));
    addSection("fixtureButton", m_fixtureParameters);
    sectionsLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));

    // The editor gets the room; the list only needs the names.
    resizeDocks({m_shapesDock, m_parameterDock}, {190, 330}, Qt::Horizontal);

    m_noExporterHint = new QLabel(this);
    m_noExporterHint->setObjectName(QStringLiteral("noExporterHint"));
    statusBar()->addPermanentWidget(m_noExporterHint);

    QMetaObject::connectSlotsByName(this);
}

QPushButton* MainWindow::addSection(const char* headerName, QWidget* panel)
{
    QWidget* sections = m_scrollArea->widget();
    auto* header = new QPushButton(sections);
    header->setObjectName(QLatin1String(headerName));
    header->setFlat(true);
    header->setCheckable(true);
    header->setChecked(true);
    header->setAutoDefault(false);
    header->setDefault(false);
    header->setStyleSheet(QLatin1String(sectionHeaderStyle));
    QIcon arrows;
    arrows.addFile(QStringLiteral(":/resources/right-arrow.png"), QSize(), QIcon::Normal, QIcon::Off);
    arrows.addFile(QStringLiteral(":/resources/down-arrow.png"), QSize(), QIcon::Normal, QIcon::On);
    header->setIcon(arrows);
    auto* layout = static_cast<QVBoxLayout*>(sections->layout());
    layout->addWidget(header);
    layout->addWidget(panel);
    m_headers.append(header);
    return header;
}

void MainWindow::createActions()
{
    m_publishAction = new QAction(QIcon(QStringLiteral(":/32x32/Publish.png")), QString(), this);
    m_publishAction->setObjectName(QStringLiteral("publishAction"));
    m_publishAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(m_publishAction, &QAction::triggered, this, &MainWindow::publish);

    m_publishAsAction = new QAction(QIcon(QStringLiteral(":/32x32/PublishAs.png")), QString(), this);
    m_publishAsAction->setObjectName(QStringLiteral("publishAsAction"));
    m_publishAsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    connect(m_publishAsAction, &QAction::triggered, this, &MainWindow::publishAs);

    m_addSpritesAction = new QAction(QIcon(QStringLiteral(":/32x32/AddImage.png")), QString(), this);
    m_addSpritesAction->setObjectName(QStringLiteral("addSpritesAction"));
    connect(m_addSpritesAction, &QAction::triggered, m_elementsList, &ElementList::on_openSprite_clicked);

    m_traceAllBodiesAction = new QAction(this);
    m_traceAllBodiesAction->setObjectName(QStringLiteral("traceAllBodiesAction"));
    connect(m_traceAllBodiesAction, &QAction::triggered, this, &MainWindow::traceAllBodies);

    m_previewAction = new QAction(QIcon(QStringLiteral(":/32x32/Preview.png")), QString(), this);
    m_previewAction->setObjectName(QStringLiteral("previewAction"));
    m_previewAction->setShortcut(QKeySequence(Qt::Key_F5));
    connect(m_previewAction, &QAction::triggered, this, &MainWindow::showPreview);
}

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
    m_fileMenu->addAction(m_publishAction);
    m_fileMenu->addAction(m_publishAsAction);
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(exitAction());
    menuBar()->addSeparator();

    m_editMenu = menuBar()->addMenu(QString());
    m_editMenu->addAction(m_addSpritesAction);
    m_editMenu->addAction(m_traceAllBodiesAction);
    m_editMenu->addAction(m_previewAction);

    m_helpMenu = menuBar()->addMenu(QString());
    m_helpMenu->addAction(aboutAction());
    m_helpMenu->addAction(preferencesAction());
    if (updateCheckAction())
        m_helpMenu->addAction(updateCheckAction());
    m_helpMenu->addAction(feedbackAction());

    m_fileToolBar = addToolBar(QString());
    m_fileToolBar->setObjectName(QStringLiteral("fileToolBar"));
    m_fileToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_fileToolBar->addAction(newAction());
    m_fileToolBar->addAction(openAction());
    m_fileToolBar->addAction(saveAction());
    m_fileToolBar->addAction(m_publishAction);
    m_fileToolBar->addAction(m_publishAsAction);

    m_toolsToolBar = addToolBar(QString());
    m_toolsToolBar->setObjectName(QStringLiteral("toolsToolBar"));
    m_toolsToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolsToolBar->addAction(m_addSpritesAction);
    m_toolsToolBar->addAction(m_previewAction);
}

void MainWindow::retranslate()
{
    updateTitle();
    m_shapesDock->setWindowTitle(tr("Shapes"));
    m_parameterDock->setWindowTitle(tr("Parameters"));
    const char* const headerTexts[] = {QT_TR_NOOP("Exporter"), QT_TR_NOOP("Global parameters"),
                                       QT_TR_NOOP("Image parameters"), QT_TR_NOOP("Body parameters"),
                                       QT_TR_NOOP("Fixture parameters")};
    for (int i = 0; i < m_headers.size(); ++i)
        m_headers[i]->setText(tr(headerTexts[i]));

    m_publishAction->setText(tr("&Publish"));
    m_publishAction->setStatusTip(tr("Publish shapes"));
    m_publishAsAction->setText(tr("Publish As"));
    m_publishAsAction->setStatusTip(tr("Publish shapes"));
    m_addSpritesAction->setText(tr("Add Sprites"));
    m_addSpritesAction->setStatusTip(tr("Add a new sprite"));
    m_traceAllBodiesAction->setText(tr("Trace all bodies…"));
    m_traceAllBodiesAction->setStatusTip(tr("Trace the outline of every body with the tracer's settings"));
    m_previewAction->setText(tr("Preview"));
    m_previewAction->setStatusTip(tr("Try the shapes in a running physics world"));

    m_fileMenu->setTitle(tr("&File"));
    m_editMenu->setTitle(tr("&Edit"));
    m_helpMenu->setTitle(tr("&Help"));
    m_fileToolBar->setWindowTitle(tr("File"));
    m_toolsToolBar->setWindowTitle(tr("Tools"));
    updatePublishing();
}

void MainWindow::traceAllBodies()
{
    ElementListModel* document = m_model.get();
    if (!document || document->elementCount() == 0)
        return;

    QDialog choice(this);
    choice.setWindowTitle(tr("Trace All Bodies"));
    auto* layout = new QVBoxLayout(&choice);
    auto* all = new QRadioButton(tr("All bodies"), &choice);
    auto* onlyEmpty = new QRadioButton(tr("Only bodies without fixtures"), &choice);
    all->setChecked(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &choice);
    connect(buttons, &QDialogButtonBox::accepted, &choice, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &choice, &QDialog::reject);
    layout->addWidget(all);
    layout->addWidget(onlyEmpty);
    layout->addWidget(buttons);
    if (choice.exec() != QDialog::Accepted)
        return;

    QList<Element*> bodies;
    for (Element* body : document->elements()) {
        if (!onlyEmpty->isChecked() || body->fixtures().isEmpty())
            bodies << body;
    }
    const TracerSettings settings = TracerSettings::read();

    QProgressDialog progress(tr("Tracing bodies…"), tr("Cancel"), 0, bodies.size(), this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.show();

    // A traced body's outline replaces its fixtures; a body that gives no
    // outline keeps its own. A cancel keeps the bodies traced until then:
    // everything traced is one undo step, which undoes the cancelled run too.
    auto command = std::make_unique<QUndoCommand>(tr("trace all bodies"));
    for (int i = 0; i < bodies.size(); ++i) {
        progress.setValue(i);
        if (progress.wasCanceled())
            break;
        Element* body = bodies.at(i);
        const QVector<QPolygonF> polygons = settings.trace(settings.bodyImage(body));
        if (polygons.isEmpty())
            continue;
        new UndoFixtureListChange(QString(), body, body->fixtures(), FixturePolygon::create(body, polygons),
                                  command.get());
    }
    progress.setValue(bodies.size());
    if (command->childCount() > 0)
        document->pushUndoCommand(command.release());
}

void MainWindow::updateTitle()
{
    const QString name = fileName().isEmpty() ? tr("Untitled") : QFileInfo(fileName()).fileName();
    setWindowTitle(tr("%1[*] - Hullwright").arg(name));
}

void MainWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange && m_fileMenu)
        retranslate();
    GMainWindow::changeEvent(event);
}

void MainWindow::setModel(ElementListModel* m)
{
    std::unique_ptr<ElementListModel> previous = std::move(m_model);
    m_model.reset(m);
    // Nothing may keep pointing into the previous document once it is gone.
    m_currentElement = nullptr;
    m_currentFixture = nullptr;
    m_exportParameters->setModel(m);
    m_elementsList->setModel(m);
    m_globalParameters->setGenericDataProvider(m);
    m_editMenu->addAction(m->createUndoAction(m));
    m_editMenu->addAction(m->createRedoAction(m));
    connect(m, &ElementListModel::redisplayElement, m_elementsList, &ElementList::redisplayElement);
    connect(m, &ElementListModel::modifiedChanged, this, &QWidget::setWindowModified);
    setWindowModified(m->isModified());
    // Shared values such as bit names live in the document, so every panel rereads.
    connect(m, &ElementListModel::globalValueChanged, m_globalParameters, &GenericSettingsField::refreshData);
    connect(m, &ElementListModel::globalValueChanged, m_bodyParameters, &GenericSettingsField::refreshData);
    connect(m, &ElementListModel::globalValueChanged, m_fixtureParameters, &GenericSettingsField::refreshData);
    if (m_preview) {
        m_preview->setCurrentBody(nullptr);
        m_preview->setDocument(m);
    }
    // The recovery copy was of the document that is now gone.
    if (previous)
        m_recovery->remove();
    connect(m, &ElementListModel::modifiedChanged, this, [this](bool modified) {
        // Saved: nothing is left to recover.
        if (!modified)
            m_recovery->remove();
    });
    previous.reset();
}

void MainWindow::elementChanged(Element* e)
{
    qDebug() << "element changed: " << static_cast<void*>(e);
    m_currentElement = e;
    if (!e)
        updateParameters(nullptr);
    m_bodyParameters->setGenericDataProvider(e);
    m_shapeEditor->setElement(e);
    m_imageDetails->setElement(e);
    if (m_preview)
        m_preview->setCurrentBody(e);
}

void MainWindow::showPreview()
{
    if (!m_preview) {
        m_preview = new PreviewWindow(this);
        m_preview->setDocument(m_model.get());
        m_preview->setCurrentBody(m_currentElement);
    }
    m_preview->show();
    m_preview->raise();
    m_preview->activateWindow();
}

void MainWindow::sceneChanged(LimbEditorScene* scene)
{
    connect(scene, &LimbEditorScene::currentFixtureChanged, this, &MainWindow::updateParameters);
}

void MainWindow::updateParameters(Fixture* f)
{
    m_currentFixture = f;
    m_fixtureParameters->setGenericDataProvider(f);
}

void MainWindow::showSection(const Section& section, bool hasContent)
{
    section.panel->setVisible(hasContent && section.header->isChecked());
    section.header->setVisible(hasContent);
}

void MainWindow::exporterChanged(Exporter* exporter)
{
    m_exporter = exporter;
    const auto globals = exporter ? exporter->globalParameters() : noParameters();
    m_globalParameters->setParameters(globals);
    showSection({m_headers.at(1), m_globalParameters}, !globals.isEmpty());
    m_globalParameters->setGenericDataProvider(m_model.get());

    const auto bodies = exporter ? exporter->bodyParameters() : noParameters();
    m_bodyParameters->setParameters(bodies);
    showSection({m_headers.at(3), m_bodyParameters}, !bodies.isEmpty());

    const auto fixtures = exporter ? exporter->fixtureParameters() : noParameters();
    m_fixtureParameters->setParameters(fixtures);
    showSection({m_headers.at(4), m_fixtureParameters}, !fixtures.isEmpty());
    m_fixtureParameters->setGenericDataProvider(m_currentFixture);

    updatePublishing();
    elementChanged(m_currentElement);
    if (m_preview)
        m_preview->restart();
}

void MainWindow::updatePublishing()
{
    const bool canPublish = m_exporter != nullptr;
    m_publishAction->setEnabled(canPublish);
    m_publishAsAction->setEnabled(canPublish);
    m_noExporterHint->setText(canPublish ? QString()
                                         : tr("No exporter is installed: publishing is disabled. "
                                              "Add exporters in Preferences and restart."));
    m_noExporterHint->setVisible(!canPublish);
}

void MainWindow::on_exportButton_clicked(bool checked) { m_exportParameters->setVisible(checked); }
void MainWindow::on_globalButton_clicked(bool checked) { m_globalParameters->setVisible(checked); }
void MainWindow::on_imageButton_clicked(bool checked) { m_imageDetails->setVisible(checked); }
void MainWindow::on_bodyButton_clicked(bool checked) { m_bodyParameters->setVisible(checked); }
void MainWindow::on_fixtureButton_clicked(bool checked) { m_fixtureParameters->setVisible(checked); }

void MainWindow::publish()
{
    if (!m_exporter)
        return;
    const QString fileName = m_model->exportFileName();
    const QString extension = QLatin1Char('.') + m_exporter->fileExtension();
    if (!fileName.isEmpty() && fileName.endsWith(extension, Qt::CaseSensitive)) {
        if (Publisher::publish(*m_model, fileName).written)
            statusBar()->showMessage(tr("Published to %1").arg(QDir::toNativeSeparators(fileName)), 15000);
        return;
    }
    publishAs();
}

void MainWindow::publishAs()
{
    if (!m_exporter)
        return;
    QString start = m_model->exportFileName();
    if (start.isEmpty())
        start = GlobalSettings().lastExportName();
    const QString filter = tr("%1 File (*.%2)").arg(m_exporter->displayName(), m_exporter->fileExtension());
    const QString chosen = QFileDialog::getSaveFileName(this, tr("Publish file"), start, filter);
    if (chosen.isEmpty())
        return;
    m_model->setExportFileName(chosen);
    GlobalSettings().setLastExportName(chosen);
    publish();
}

bool MainWindow::loadFile(const QString& fileName)
{
    auto model = std::make_unique<ElementListModel>();
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
    setModel(model.release());
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

int MainWindow::autosaveIntervalMs() const
{
    return m_autosaveTimer->isActive() ? m_autosaveTimer->interval() : 0;
}

void MainWindow::setAutosaveIntervalMs(int milliseconds)
{
    if (milliseconds <= 0) {
        m_autosaveTimer->stop();
        return;
    }
    m_autosaveTimer->start(milliseconds);
}

void MainWindow::autosave()
{
    if (!m_model->isModified())
        return;
    // A failed copy is retried at the next interval; the user's own file is never involved.
    if (!m_recovery->write(*m_model, fileName()))
        qWarning().noquote() << "Could not write the recovery copy in" << m_recovery->directory();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    GMainWindow::closeEvent(event);
    // Saved or discarded by the user: the recovery copy has served its purpose.
    if (event->isAccepted())
        m_recovery->remove();
}

void MainWindow::saveCustomSettings(QSettings&)
{
}

void MainWindow::restoreCustomSettings(QSettings&)
{
}
