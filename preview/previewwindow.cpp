#include "previewwindow.h"

#include "element.h"
#include "elementlistmodel.h"
#include "physicsworld.h"
#include "previewview.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// After a stall (a modal dialog, a slow machine) the world catches up by at
// most this many steps a frame, and slows down rather than falling behind.
constexpr int maxStepsPerFrame = 4;
// A second of edits in the document rebuilds the world once.
constexpr int restartDelayMs = 300;

enum BodiesChoice { CurrentBody, AllBodies };

}

PreviewWindow::PreviewWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("previewWindow"));
    m_view = new PreviewView(this);
    m_view->setObjectName(QStringLiteral("previewView"));

    m_bodiesLabel = new QLabel(this);
    m_bodiesChoice = new QComboBox(this);
    m_bodiesChoice->setObjectName(QStringLiteral("bodiesChoice"));
    m_bodiesChoice->addItems({QString(), QString()});
    m_bodiesLabel->setBuddy(m_bodiesChoice);
    m_runButton = new QPushButton(this);
    m_runButton->setObjectName(QStringLiteral("runButton"));
    m_runButton->setCheckable(true);
    m_runButton->setChecked(true);
    m_stepButton = new QPushButton(this);
    m_stepButton->setObjectName(QStringLiteral("stepButton"));
    m_restartButton = new QPushButton(this);
    m_restartButton->setObjectName(QStringLiteral("restartButton"));
    m_gravityLabel = new QLabel(this);
    m_gravity = new QDoubleSpinBox(this);
    m_gravity->setObjectName(QStringLiteral("gravity"));
    m_gravity->setRange(-100, 100);
    m_gravity->setDecimals(1);
    m_gravity->setValue(PhysicsWorld::defaultGravity);
    m_gravityLabel->setBuddy(m_gravity);
    m_timeScaleLabel = new QLabel(this);
    m_timeScale = new QDoubleSpinBox(this);
    m_timeScale->setObjectName(QStringLiteral("timeScale"));
    m_timeScale->setRange(0.05, 4);
    m_timeScale->setSingleStep(0.25);
    m_timeScale->setValue(1);
    m_timeScaleLabel->setBuddy(m_timeScale);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_problems = new QListWidget(this);
    m_problems->setObjectName(QStringLiteral("problems"));
    m_problems->setMaximumHeight(90);
    m_problems->hide();

    auto* controls = new QHBoxLayout;
    for (QWidget* widget : {static_cast<QWidget*>(m_bodiesLabel), static_cast<QWidget*>(m_bodiesChoice),
                            static_cast<QWidget*>(m_runButton), static_cast<QWidget*>(m_stepButton),
                            static_cast<QWidget*>(m_restartButton), static_cast<QWidget*>(m_gravityLabel),
                            static_cast<QWidget*>(m_gravity), static_cast<QWidget*>(m_timeScaleLabel),
                            static_cast<QWidget*>(m_timeScale)})
        controls->addWidget(widget);
    controls->addStretch();
    controls->addWidget(m_status);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_problems);

    connect(m_bodiesChoice, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &PreviewWindow::restart);
    connect(m_runButton, &QPushButton::toggled, this, &PreviewWindow::setRunning);
    connect(m_stepButton, &QPushButton::clicked, this, &PreviewWindow::stepOnce);
    connect(m_restartButton, &QPushButton::clicked, this, &PreviewWindow::restart);
    connect(m_gravity, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, [this](double gravity) {
        if (m_world)
            m_world->setGravity(gravity);
    });

    m_frameTimer.setTimerType(Qt::PreciseTimer);
    m_frameTimer.setInterval(16);
    connect(&m_frameTimer, &QTimer::timeout, this, &PreviewWindow::tick);
    m_restartTimer.setSingleShot(true);
    m_restartTimer.setInterval(restartDelayMs);
    connect(&m_restartTimer, &QTimer::timeout, this, &PreviewWindow::restart);

    retranslate();
    resize(900, 600);
    restart();
}

PreviewWindow::~PreviewWindow()
{
    // The view draws the world: it lets go of it first.
    m_view->setWorld(nullptr, {});
}

void PreviewWindow::setDocument(ElementListModel* document)
{
    if (m_document) {
        disconnect(m_document, nullptr, this, nullptr);
        disconnect(m_document->undoStack(), nullptr, this, nullptr);
    }
    m_document = document;
    if (document) {
        const auto later = [this] { restartLater(); };
        connect(document->undoStack(), &QUndoStack::indexChanged, this, later);
        connect(document, &QAbstractItemModel::rowsInserted, this, later);
        connect(document, &QAbstractItemModel::rowsRemoved, this, later);
        connect(document, &QAbstractItemModel::modelReset, this, later);
        connect(document, &ElementListModel::globalValueChanged, this, later);
        connect(document, &ElementListModel::redisplayElement, this, later);
    }
    isVisible() ? restart() : restartLater();
}

void PreviewWindow::setCurrentBody(Element* body)
{
    if (m_currentBody == body)
        return;
    m_currentBody = body;
    if (m_bodiesChoice->currentIndex() == CurrentBody)
        isVisible() ? restart() : restartLater();
}

void PreviewWindow::restartLater()
{
    // A closed preview only notes that its world is out of date.
    if (isVisible())
        m_restartTimer.start();
    else
        m_outOfDate = true;
}

bool PreviewWindow::isRunning() const
{
    return m_runButton->isChecked();
}

void PreviewWindow::restart()
{
    m_restartTimer.stop();
    m_outOfDate = false;
    QList<Element*> elements;
    if (m_document) {
        if (m_bodiesChoice->currentIndex() == AllBodies)
            elements = m_document->elements();
        else if (m_currentBody && m_currentBody->document() == m_document)
            elements << m_currentBody.data();
    }
    m_view->setWorld(nullptr, {});
    m_bodies = PreviewBody::fromElements(elements);
    m_world = std::make_unique<PhysicsWorld>(m_bodies);
    m_world->setGravity(m_gravity->value());
    m_view->setWorld(m_world.get(), m_bodies);
    m_pendingSeconds = 0;
    m_stepMilliseconds = 0;
    m_clock.restart();

    m_problems->clear();
    for (const PreviewBody& body : m_bodies)
        m_problems->addItems(body.problems());
    m_problems->addItems(m_world->problems());
    m_problems->setVisible(m_problems->count() > 0);
    updateStatus();
}

void PreviewWindow::setRunning(bool running)
{
    if (m_runButton->isChecked() != running)
        m_runButton->setChecked(running);
    m_runButton->setText(running ? tr("Pause") : tr("Run"));
    if (running && isVisible()) {
        m_clock.restart();
        m_frameTimer.start();
    } else {
        m_frameTimer.stop();
    }
}

void PreviewWindow::stepOnce()
{
    setRunning(false);
    step();
    m_view->update();
    updateStatus();
}

void PreviewWindow::tick()
{
    // Wall-clock time since the last frame, scaled; a long stall counts as a quarter second.
    const double elapsed = std::min(m_clock.restart() / 1000.0, 0.25);
    m_pendingSeconds += elapsed * m_timeScale->value();
    int steps = 0;
    while (m_pendingSeconds >= PhysicsWorld::stepSeconds && steps < maxStepsPerFrame) {
        step();
        m_pendingSeconds -= PhysicsWorld::stepSeconds;
        ++steps;
    }
    if (steps == maxStepsPerFrame)
        m_pendingSeconds = 0;
    m_view->update();
    updateStatus();
}

void PreviewWindow::step()
{
    QElapsedTimer timer;
    timer.start();
    m_world->step();
    const double milliseconds = timer.nsecsElapsed() / 1e6;
    m_stepMilliseconds = m_stepMilliseconds > 0 ? 0.9 * m_stepMilliseconds + 0.1 * milliseconds : milliseconds;
}

void PreviewWindow::updateStatus()
{
    if (!m_world)
        return;
    if (m_bodiesChoice->currentIndex() == CurrentBody && m_bodies.isEmpty()) {
        m_status->setText(tr("No body selected"));
        return;
    }
    const int bodies = m_world->bodyCount() + m_world->ballCount();
    m_status->setText((bodies == 1 ? tr("1 body") : tr("%1 bodies").arg(bodies)) + QStringLiteral("   ")
                      + tr("step %1 ms").arg(m_stepMilliseconds, 0, 'f', 2));
}

void PreviewWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_outOfDate)
        restart();
    setRunning(isRunning());
}

void PreviewWindow::hideEvent(QHideEvent* event)
{
    m_frameTimer.stop();
    QWidget::hideEvent(event);
}

void PreviewWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void PreviewWindow::retranslate()
{
    setWindowTitle(tr("Physics Preview"));
    m_bodiesLabel->setText(tr("&Bodies:"));
    m_bodiesChoice->setItemText(CurrentBody, tr("Current body"));
    m_bodiesChoice->setItemText(AllBodies, tr("All bodies"));
    m_runButton->setText(isRunning() ? tr("Pause") : tr("Run"));
    m_runButton->setToolTip(tr("Pause or run the world (Space)"));
    m_runButton->setShortcut(QKeySequence(Qt::Key_Space));
    m_stepButton->setText(tr("Step"));
    m_stepButton->setToolTip(tr("Move the world on by one step of 1/60 s"));
    m_restartButton->setText(tr("Restart"));
    m_restartButton->setToolTip(tr("Drop the bodies again, as the document is now (F5)"));
    m_restartButton->setShortcut(QKeySequence(Qt::Key_F5));
    m_gravityLabel->setText(tr("&Gravity:"));
    m_gravity->setSuffix(tr(" m/s²"));
    m_timeScaleLabel->setText(tr("&Time scale:"));
    m_timeScale->setSuffix(tr(" ×"));
    m_view->setToolTip(tr("Drag a body to pull it; click or drag on empty space to throw a ball"));
    updateStatus();
}
