#pragma once

#include <QGraphicsView>

// The editor's view: holding the space bar turns mouse drags into panning,
// also over shapes, which then do not move.
class GGraphicsView final : public QGraphicsView
{
    Q_OBJECT
public:
    explicit GGraphicsView(QWidget* parent = nullptr);

    bool isPanning() const { return m_panning; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void setPanning(bool panning);

    bool m_panning = false;
};
