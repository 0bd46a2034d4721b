#pragma once

#include "previewbody.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <memory>

class Element;
class ElementListModel;
class PhysicsWorld;
class PreviewView;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QPushButton;

// The physics preview: the current body, or all bodies, dropped into a Box2D
// world that runs at a fixed 60 steps a second while the view repaints on its
// own. It reads the document and never changes it; when the document changes,
// the world is built again.
class PreviewWindow final : public QWidget
{
    Q_OBJECT
public:
    explicit PreviewWindow(QWidget* parent = nullptr);
    ~PreviewWindow() override;

    void setDocument(ElementListModel* document);
    void setCurrentBody(Element* body);

    PhysicsWorld* world() const { return m_world.get(); }
    PreviewView* view() const { return m_view; }
    bool isRunning() const;

public slots:
    // Builds the world again from the document as it is now.
    void restart();
    void setRunning(bool running);
    // Pauses and moves the world on by one step.
    void stepOnce();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Builds the world again a moment after the document changed, or when
    // the window is shown next.
    void restartLater();
    void tick();
    void step();
    void updateStatus();
    void retranslate();

    QPointer<ElementListModel> m_document;
    QPointer<Element> m_currentBody;
    QVector<PreviewBody> m_bodies;
    std::unique_ptr<PhysicsWorld> m_world;

    PreviewView* m_view = nullptr;
    QLabel* m_bodiesLabel = nullptr;
    QComboBox* m_bodiesChoice = nullptr;
    QPushButton* m_runButton = nullptr;
    QPushButton* m_stepButton = nullptr;
    QPushButton* m_restartButton = nullptr;
    QLabel* m_gravityLabel = nullptr;
    QDoubleSpinBox* m_gravity = nullptr;
    QLabel* m_timeScaleLabel = nullptr;
    QDoubleSpinBox* m_timeScale = nullptr;
    QLabel* m_status = nullptr;
    QListWidget* m_problems = nullptr;

    QTimer m_frameTimer;
    QTimer m_restartTimer;
    QElapsedTimer m_clock;
    double m_pendingSeconds = 0;
    double m_stepMilliseconds = 0;
    bool m_outOfDate = false;
};
