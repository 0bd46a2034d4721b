#include "imagedetails.h"

#include "element.h"
#include "exporter.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
QDoubleSpinBox* makeSpinBox(const char* objectName, int decimals, double maximum, QWidget* parent)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(QLatin1String(objectName));
    box->setDecimals(decimals);
    box->setRange(-1000000000.0, maximum);
    box->setSingleStep(1.0);
    // The range would make the box as wide as a billion with all its decimals;
    // the dock is narrower than that, and real values are short.
    box->setMinimumWidth(72);
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return box;
}

QLineEdit* makeSizeField(const char* objectName, QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(objectName));
    field->setReadOnly(true);
    field->setMaximumWidth(70);
    return field;
}

QSizeF sizeOf(const Element* body)
{
    return QSizeF(body->size());
}
}

ImageDetails::ImageDetails(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ImageDetails"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_imageGroup = new QGroupBox(this);
    m_imageGroup->setObjectName(QStringLiteral("groupBox_2"));
    auto* imageGrid = new QGridLayout(m_imageGroup);
    m_loadImage = new QToolButton(m_imageGroup);
    m_loadImage->setObjectName(QStringLiteral("loadImageButton"));
    m_loadImage->setIcon(QIcon(QStringLiteral(":/16x16/picture_add.png")));
    m_sizeLabel = new QLabel(m_imageGroup);
    m_width = makeSizeField("width", m_imageGroup);
    m_sizeSeparator = new QLabel(QStringLiteral("/"), m_imageGroup);
    m_height = makeSizeField("height", m_imageGroup);
    m_fileLabel = new QLabel(m_imageGroup);
    m_fileNames = new QComboBox(m_imageGroup);
    m_fileNames->setObjectName(QStringLiteral("imageFileNameComboBox"));
    m_fileNames->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_fileNames->setMinimumContentsLength(8);
    m_removeImage = new QToolButton(m_imageGroup);
    m_removeImage->setObjectName(QStringLiteral("removeImagebutton"));
    m_removeImage->setIcon(QIcon(QStringLiteral(":/16x16/picture_delete.png")));
    imageGrid->addWidget(m_sizeLabel, 0, 0);
    imageGrid->addWidget(m_width, 0, 1);
    imageGrid->addWidget(m_sizeSeparator, 0, 2);
    imageGrid->addWidget(m_height, 0, 3);
    imageGrid->addWidget(m_loadImage, 0, 4);
    imageGrid->addWidget(m_fileLabel, 1, 0);
    imageGrid->addWidget(m_fileNames, 1, 1, 1, 3);
    imageGrid->addWidget(m_removeImage, 1, 4);
    imageGrid->setColumnStretch(1, 1);
    imageGrid->setColumnStretch(3, 1);
    layout->addWidget(m_imageGroup);

    m_anchorGroup = new QGroupBox(this);
    m_anchorGroup->setObjectName(QStringLiteral("anchorPointsGroup"));
    auto* anchorGrid = new QGridLayout(m_anchorGroup);
    m_pixelLabel = new QLabel(m_anchorGroup);
    m_relativeLabel = new QLabel(m_anchorGroup);
    // The pixel x field tops out below the others, as it always has.
    m_absX = makeSpinBox("anchorAbsX", 2, 999999.0, m_anchorGroup);
    m_absY = makeSpinBox("anchorAbsY", 2, 1000000000.0, m_anchorGroup);
    m_relX = makeSpinBox("anchorRelX", 8, 1000000000.0, m_anchorGroup);
    m_relY = makeSpinBox("anchorRelY", 8, 1000000000.0, m_anchorGroup);
    anchorGrid->addWidget(m_pixelLabel, 0, 0);
    anchorGrid->addWidget(m_absX, 0, 1);
    anchorGrid->addWidget(new QLabel(QStringLiteral("/"), m_anchorGroup), 0, 2);
    anchorGrid->addWidget(m_absY, 0, 3);
    anchorGrid->addWidget(m_relativeLabel, 1, 0);
    anchorGrid->addWidget(m_relX, 1, 1);
    anchorGrid->addWidget(new QLabel(QStringLiteral("/"), m_anchorGroup), 1, 2);
    anchorGrid->addWidget(m_relY, 1, 3);
    anchorGrid->setColumnStretch(1, 1);
    anchorGrid->setColumnStretch(3, 1);
    layout->addWidget(m_anchorGroup);

    retranslate();
    QMetaObject::connectSlotsByName(this);
}

ImageDetails::~ImageDetails() = default;

void ImageDetails::retranslate()
{
    setWindowTitle(tr("DockWidget"));
    m_imageGroup->setTitle(tr("Image"));
    m_loadImage->setText(tr("+"));
    m_loadImage->setToolTip(tr("Add an image file (animation frame) to this body"));
    m_sizeLabel->setText(tr("Size"));
    m_fileLabel->setText(tr("Filename"));
    m_removeImage->setText(tr("-"));
    m_removeImage->setToolTip(tr("Remove this image file from the body"));
    m_anchorGroup->setTitle(tr("Select anchor point"));
    m_pixelLabel->setText(tr("Pixel"));
    m_relativeLabel->setText(tr("Relative"));
}

void ImageDetails::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void ImageDetails::setElement(Element* body)
{
    setEnabled(body != nullptr);
    if (body == m_element) {
        // The same body again after an edit: its files may have changed.
        if (body)
            refill();
        return;
    }
    finishAnchorEdit();
    disconnect(m_anchorConnection);
    m_element = body;
    if (!body)
        return;
    m_anchorConnection = connect(body, &Element::anchorPointChanged, this, &ImageDetails::updateAnchorPoint);
    refill();
}

void ImageDetails::refill()
{
    // Showing a body never changes it: the refill reaches no slot.
    {
        const QSignalBlocker blocker(m_fileNames);
        const QStringList files = m_element->imageFileNames();
        m_fileNames->clear();
        m_fileNames->addItems(files);
        // A body that was never switched to another frame shows its first one.
        const int current = files.indexOf(m_element->currentImageName());
        m_fileNames->setCurrentIndex(current < 0 && !files.isEmpty() ? 0 : current);
    }
    updateAnchorPoint();
    const QSize size = m_element->size();
    m_width->setText(QString::number(size.width()));
    m_height->setText(QString::number(size.height()));
}

void ImageDetails::updateAnchorPoint()
{
    if (!m_element)
        return;
    const QPointF pixels = m_element->toDisplayPoint(m_element->anchorPointAbs());
    const QSizeF size = sizeOf(m_element);
    m_updatingSpinBoxes = true;
    // The field being typed in keeps its text: rewriting it would move the cursor
    // and swallow the rest of what is typed.
    const auto show = [this](QDoubleSpinBox* box, double value) {
        if (box != m_typingIn)
            box->setValue(value);
    };
    show(m_absX, pixels.x());
    show(m_absY, pixels.y());
    show(m_relX, size.width() != 0 ? pixels.x() / size.width() : 0.0);
    show(m_relY, size.height() != 0 ? pixels.y() / size.height() : 0.0);
    m_updatingSpinBoxes = false;
}

void ImageDetails::exporterChanged(Exporter* exporter)
{
    m_anchorGroup->setVisible(exporter && exporter->anchorPointEnabled());
    updateAnchorPoint();
}

QPointF ImageDetails::displayedPixels() const
{
    return QPointF(m_absX->value(), m_absY->value());
}

QPointF ImageDetails::displayedRelative() const
{
    const QSizeF size = sizeOf(m_element);
    return QPointF(m_relX->value() * size.width(), m_relY->value() * size.height());
}

void ImageDetails::previewAnchorPoint(const QPointF& displayPoint)
{
    if (!m_element || m_updatingSpinBoxes)
        return;
    if (!m_anchorEditPending) {
        m_anchorEditPending = true;
        m_anchorBeforeEdit = m_element->anchorPointAbs();
    }
    m_typingIn = qobject_cast<QDoubleSpinBox*>(sender());
    m_element->setAnchorPointAbsDirect(m_element->toDisplayPoint(displayPoint));
    m_typingIn = nullptr;
}

void ImageDetails::finishAnchorEdit()
{
    if (!m_anchorEditPending)
        return;
    m_anchorEditPending = false;
    if (!m_element)
        return;
    const QPointF now = m_element->anchorPointAbs();
    if (now != m_anchorBeforeEdit)
        m_element->moveAnchorPoint(m_anchorBeforeEdit, now);
}

void ImageDetails::on_anchorAbsX_valueChanged(double value)
{
    QPointF point = displayedPixels();
    point.setX(value);
    previewAnchorPoint(point);
}

void ImageDetails::on_anchorAbsY_valueChanged(double value)
{
    QPointF point = displayedPixels();
    point.setY(value);
    previewAnchorPoint(point);
}

void ImageDetails::on_anchorRelX_valueChanged(double)
{
    previewAnchorPoint(displayedRelative());
}

void ImageDetails::on_anchorRelY_valueChanged(double)
{
    previewAnchorPoint(displayedRelative());
}

void ImageDetails::on_anchorAbsX_editingFinished() { finishAnchorEdit(); }
void ImageDetails::on_anchorAbsY_editingFinished() { finishAnchorEdit(); }
void ImageDetails::on_anchorRelX_editingFinished() { finishAnchorEdit(); }
void ImageDetails::on_anchorRelY_editingFinished() { finishAnchorEdit(); }

void ImageDetails::on_imageFileNameComboBox_currentIndexChanged(const QString& name)
{
    if (m_element && !name.isEmpty() && name != m_element->currentImageName())
        m_element->setCurrentImage(name);
}

void ImageDetails::on_loadImageButton_clicked()
{
    if (!m_element)
        return;
    const QStringList files =
        QFileDialog::getOpenFileNames(this, tr("Open File"), m_fileNames->currentText(), tr("Images (*.png *.xpm *.jpg)"));
    if (files.isEmpty())
        return;
    for (const QString& file : files)
        m_element->addImageFileName(file);
    refill();
}

void ImageDetails::on_removeImagebutton_clicked()
{
    if (!m_element || m_fileNames->currentText().isEmpty())
        return;
    m_element->removeImageFileName(m_fileNames->currentText());
    refill();
}
