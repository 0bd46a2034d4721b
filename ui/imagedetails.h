#pragma once

#include <QPointF>
#include <QPointer>
#include <QWidget>

#include "element.h"

class Exporter;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolButton;

// The image panel of a document window: the current body's image files and
// size, and its anchor point in pixels and relative to the image size, shown
// with the exporter's y-axis convention.
class ImageDetails : public QWidget
{
    Q_OBJECT
public:
    explicit ImageDetails(QWidget* parent = nullptr);
    ~ImageDetails() override;

    Element* element() const { return m_element; }

signals:
    void didChangeImage(const QString& fileName);

public slots:
    void setElement(Element* body);
    void updateAnchorPoint();
    void exporterChanged(Exporter* exporter);

private slots:
    void on_imageFileNameComboBox_currentIndexChanged(const QString& name);
    void on_removeImagebutton_clicked();
    void on_anchorRelY_valueChanged(double value);
    void on_anchorRelX_valueChanged(double value);
    void on_anchorAbsY_valueChanged(double value);
    void on_anchorAbsX_valueChanged(double value);
    void on_anchorRelY_editingFinished();
    void on_anchorRelX_editingFinished();
    void on_anchorAbsY_editingFinished();
    void on_anchorAbsX_editingFinished();
    void on_loadImageButton_clicked();

private:
    void refill();
    // Stores an anchor point given in display coordinates (pixels) at once,
    // remembering where the point was when this edit began.
    void previewAnchorPoint(const QPointF& displayPoint);
    void finishAnchorEdit();
    QPointF displayedPixels() const;
    QPointF displayedRelative() const;
    void retranslate();
    void changeEvent(QEvent* event) override;

    QPointer<Element> m_element;
    QMetaObject::Connection m_anchorConnection;
    // The anchor point before the spin-box edit in progress, if one is.
    bool m_anchorEditPending = false;
    QPointF m_anchorBeforeEdit;
    bool m_updatingSpinBoxes = false;
    QDoubleSpinBox* m_typingIn = nullptr;

    QGroupBox* m_imageGroup = nullptr;
    QToolButton* m_loadImage = nullptr;
    QLabel* m_sizeLabel = nullptr;
    QLineEdit* m_width = nullptr;
    QLabel* m_sizeSeparator = nullptr;
    QLineEdit* m_height = nullptr;
    QLabel* m_fileLabel = nullptr;
    QComboBox* m_fileNames = nullptr;
    QToolButton* m_removeImage = nullptr;
    QGroupBox* m_anchorGroup = nullptr;
    QLabel* m_pixelLabel = nullptr;
    QLabel* m_relativeLabel = nullptr;
    QDoubleSpinBox* m_absX = nullptr;
    QDoubleSpinBox* m_absY = nullptr;
    QDoubleSpinBox* m_relX = nullptr;
    QDoubleSpinBox* m_relY = nullptr;
};
