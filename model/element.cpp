#include "element.h"

#include "elementlistmodel.h"
#include "error.h"
#include "exporter.h"
#include "fixture.h"
#include "imagecache.h"
#include "streamio.h"
#include "undofixturelistchange.h"
#include "undomoveanchorpoint.h"

#include <QColor>
#include <QCoreApplication>
#include <QDir>

#include <algorithm>

namespace {
constexpr qint32 bodyTag = StreamIO::tag("BODY");
constexpr qint32 bodyVersion = 5;

const QString nameKey = QStringLiteral("name");
const QString sizeKey = QStringLiteral("size");
const QString imageFileNamesKey = QStringLiteral("imageFileNames");
const QString currentImageNameKey = QStringLiteral("currentImageName");
const QString anchorPointKey = QStringLiteral("anchorPointAbs");


}

bool Element::framesInOrder(const QString& a, const QString& b)
{
    int i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            int endA = i, endB = j;
            while (endA < a.size() && a.at(endA).isDigit())
                ++endA;
            while (endB < b.size() && b.at(endB).isDigit())
                ++endB;
            while (i < endA - 1 && a.at(i) == QLatin1Char('0'))
                ++i;
            while (j < endB - 1 && b.at(j) == QLatin1Char('0'))
                ++j;
            const QStringRef numberA = a.midRef(i, endA - i), numberB = b.midRef(j, endB - j);
            if (numberA.size() != numberB.size())
                return numberA.size() < numberB.size();
            if (numberA != numberB)
                return numberA < numberB;
            i = endA;
            j = endB;
        } else {
            if (a.at(i) != b.at(j))
                return a.at(i) < b.at(j);
            ++i;
            ++j;
        }
    }
    if ((a.size() - i) != (b.size() - j))
        return a.size() - i < b.size() - j;
    return a < b;
}

Element::Element(ElementListModel* document, Exporter* exporter)
    : m_exporter(exporter)
    , m_document(document)
{
}

Element::Element(ElementListModel* document, Exporter* exporter, const QString& name, const QString& imageFile)
    : Element(document, exporter)
{
    setValueDirect(nameKey, name);
    addImageFileNameDirect(imageFile);
}

Element::~Element()
{
    qDeleteAll(m_fixtures);
}

QVariant Element::data(int role) const
{
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return name();
    case Qt::DecorationRole:
        // Icons are made in the background for the rows a view shows; until
        // then an empty one keeps the row's layout.
        if (m_icon.isNull() && m_imageValid)
            m_icon = ImageCache::icon(m_pixmapFile);
        if (m_icon.isNull() && m_imageValid && !m_iconRequested) {
            m_iconRequested = true;
            auto* self = const_cast<Element*>(this);
            connect(ImageCache::notifier(), &ImageCache::Notifier::iconReady, self, &Element::takeIcon,
                    Qt::UniqueConnection);
            ImageCache::requestIcon(m_pixmapFile);
        }
        return m_icon.isNull() ? ImageCache::placeholderIcon() : m_icon;
    case Qt::ForegroundRole:
        return m_imageValid ? QColor(0, 0, 0, 255) : QColor(255, 0, 0, 255);
    default:
        return QVariant();
    }
}

void Element::setData(const QVariant& value, int role)
{
    if (role != Qt::EditRole)
        return;
    setName(value.toString());
    emitDataChanged();
}

void Element::notifyValueChanged()
{
    emitDataChanged();
    if (m_document)
        m_document->notifyElementChanged(this);
}

void Element::pushUndoCommand(QUndoCommand* command)
{
    m_document->pushUndoCommand(command);
}

QVariant Element::defaultValue(const QString& name) const
{
    return m_exporter ? m_exporter->bodyDefault(name) : QVariant();
}

QStringList Element::sharedStringList(const QString& name) const
{
    return m_document ? m_document->sharedStringList(name) : QStringList();
}

void Element::setSharedStringList(const QString& name, const QStringList& list)
{
    if (m_document)
        m_document->setSharedStringList(name, list);
}

void Element::setExporter(Exporter* exporter)
{
    m_exporter = exporter;
    for (Fixture* fixture : qAsConst(m_fixtures))
        fixture->setExporter(exporter);
}

QString Element::name() const
{
    return value(nameKey).toString();
}

void Element::setName(const QString& name)
{
    setValue(nameKey, name);
}

QSize Element::size() const
{
    return value(sizeKey).toSize();
}

QStringList Element::imageFileNames() const
{
    return value(imageFileNamesKey).toStringList();
}

QString Element::currentImageName() const
{
    return value(currentImageNameKey).toString();
}

void Element::loadPixmap(const QString& file)
{
    // The shown file may be another frame than the current image (showImage).
    const ImageCache::Header header = ImageCache::header(file);
    m_pixmapFile = file;
    m_imageValid = header.readable;
    m_iconRequested = false;
    if (m_imageValid) {
        setValueDirect(sizeKey, header.size);
        m_icon = ImageCache::icon(file);
    } else {
        m_icon = ImageCache::missingIcon();
    }
}

QPixmap Element::pixmap() const
{
    const ImageCache::Entry image = ImageCache::load(m_pixmapFile);
    if (image.pixmap.isNull() && m_imageValid) {
        // A header that reads but pixels that do not: the body shows as broken from now on.
        m_imageValid = false;
        m_icon = ImageCache::missingIcon();
        const_cast<Element*>(this)->emitDataChanged();
    } else if (m_icon.isNull() && !image.icon.isNull()) {
        // The full decode made the icon before the background could.
        m_icon = image.icon;
        const_cast<Element*>(this)->emitDataChanged();
    }
    return image.pixmap;
}

void Element::takeIcon(const QString& file)
{
    if (file != m_pixmapFile || !m_imageValid)
        return;
    m_icon = ImageCache::icon(file);
    disconnect(ImageCache::notifier(), &ImageCache::Notifier::iconReady, this, &Element::takeIcon);
    emitDataChanged();
}

void Element::setCurrentImage(const QString& file)
{
    loadPixmap(file);
    if (file != currentImageName()) {
        setValue(currentImageNameKey, file);
        emit pixmapChanged();
        emitDataChanged();
    }
}

void Element::addImageFileName(const QString& file)
{
    addImageFileName(file, true);
}

void Element::addImageFileNameDirect(const QString& file)
{
    addImageFileName(file, false);
}

void Element::addImageFileName(const QString& file, bool undoable)
{
    QStringList files = imageFileNames();
    if (files.contains(file))
        return;
    files.append(file);
    std::sort(files.begin(), files.end(), framesInOrder);
    if (undoable)
        setValue(imageFileNamesKey, files);
    else
        setValueDirect(imageFileNamesKey, files);
    loadPixmap(file);
    emit pixmapChanged();
    emit anchorPointChanged();
    emitDataChanged();
}

void Element::removeImageFileName(const QString& file)
{
    QStringList files = imageFileNames();
    const int index = files.indexOf(file);
    if (index < 0)
        return;
    files.removeAll(file);
    setValue(imageFileNamesKey, files);
    showImage(index - 1);
    emit pixmapChanged();
    emit anchorPointChanged();
    emitDataChanged();
}

void Element::showImage(int index)
{
    const QStringList files = imageFileNames();
    if (files.isEmpty())
        return;
    loadPixmap(files.at(qBound(0, index, files.size() - 1)));
}

void Element::refreshImage()
{
    const QStringList files = imageFileNames();
    if (currentImageName().isNull() && !files.isEmpty())
        setCurrentImage(files.first());
    loadPixmap(currentImageName());
}

QPointF Element::anchorPointAbs() const
{
    return value(anchorPointKey).toPointF();
}

void Element::moveAnchorPoint(const QPointF& from, const QPointF& to)
{
    pushUndoCommand(new UndoMoveAnchorPoint(this, from, to));
}

void Element::setAnchorPointAbsDirect(const QPointF& point)
{
    setValueDirect(anchorPointKey, point);
    emit anchorPointChanged();
}

QPointF Element::anchorPointRel() const
{
    const QSize s = size();
    const QPointF anchor = anchorPointAbs();
    // An image without pixels has no relative position; keep it at the origin.
    return QPointF(s.width() ? anchor.x() / s.width() : 0.0, s.height() ? anchor.y() / s.height() : 0.0);
}

QPointF Element::toDisplayPoint(const QPointF& point) const
{
    if (m_exporter && m_exporter->yAxisDirection() == Exporter::Down)
        return QPointF(point.x(), size().height() - point.y());
    return point;
}

void Element::addFixture(Fixture* fixture)
{
    addFixtures({fixture}, QCoreApplication::translate("Element", "add fixture"));
}

void Element::addFixtures(const QList<Fixture*>& fixtures, const QString& undoText)
{
    const QList<Fixture*> oldList = m_fixtures;
    for (Fixture* fixture : fixtures) {
        if (!m_fixtures.contains(fixture))
            m_fixtures.append(fixture);
    }
    if (m_fixtures.size() == oldList.size())
        return;
    pushUndoCommand(new UndoFixtureListChange(undoText, this, oldList, m_fixtures));
}

void Element::deleteFixture(Fixture* fixture)
{
    const QList<Fixture*> oldList = m_fixtures;
    m_fixtures.removeAll(fixture);
    pushUndoCommand(new UndoFixtureListChange(
        QCoreApplication::translate("Element", "delete fixture"), this, oldList, m_fixtures));
}

void Element::save(QDataStream& stream, const QDir& dir) const
{
    QHash<QString, QVariant> stored = values();
    const auto relative = [&dir](const QString& path) { return dir.relativeFilePath(path); };
    GenericDataProvider::rewritePaths(stored, imageFileNamesKey, relative);
    GenericDataProvider::rewritePaths(stored, currentImageNameKey, relative);
    stream << bodyTag << bodyVersion << stored << qint32(m_fixtures.size());
    for (const Fixture* fixture : m_fixtures)
        fixture->save(stream);
}

Element* Element::read(QDataStream& stream, ElementListModel* document, Exporter* exporter, const QDir& dir)
{
    const qint32 version = StreamIO::readVersion(stream, bodyTag);
    if (version < 2 || version > bodyVersion)
        throw Error(Error::ProjectFile, QCoreApplication::translate("ProjectFile",
                                                                    "Can't read file: Body section version is %1")
                                            .arg(version));
    auto body = std::make_unique<Element>(document, exporter);
    UndoRecordingPause pause(body.get());
    const auto absolute = [&dir](const QString& path) { return QDir::cleanPath(dir.absoluteFilePath(path)); };

    switch (version) {
    case 2: {
        // The first string is both the name and the image; the rest is read to stay in step.
        const QString name = StreamIO::readString(stream);
        StreamIO::readString(stream);
        QPointF anchor;
        QPointF unused;
        stream >> anchor >> unused;
        StreamIO::checkStatus(stream);
        body->setName(name);
        body->addImageFileName(name);
        body->setAnchorPointAbsDirect(anchor);
        break;
    }
    case 3: {
        const QString name = StreamIO::readString(stream);
        const QString imageFile = StreamIO::readString(stream);
        QPointF anchor;
        QSize size;
        stream >> anchor >> size;
        StreamIO::checkStatus(stream);
        body->setName(name);
        body->addImageFileName(imageFile);
        body->setValue(sizeKey, size);
        body->setAnchorPointAbsDirect(anchor);
        break;
    }
    case 4: {
        QHash<QString, QVariant> stored = StreamIO::readValueMap(stream);
        const QString imageFileNameKey = QStringLiteral("imageFileName");
        GenericDataProvider::rewritePaths(stored, imageFileNameKey, absolute);
        const QString imageFile = stored.take(imageFileNameKey).toString();
        body->setValues(stored);
        if (!imageFile.isEmpty())
            body->addImageFileName(imageFile);
        body->showImage(0);
        break;
    }
    default: {
        QHash<QString, QVariant> stored = StreamIO::readValueMap(stream);
        GenericDataProvider::rewritePaths(stored, imageFileNamesKey, absolute);
        GenericDataProvider::rewritePaths(stored, currentImageNameKey, absolute);
        body->setValues(stored);
        body->refreshImage();
        break;
    }
    }

    // Every fixture section takes at least its version number.
    const qint32 count = StreamIO::readCount(stream, 4);
    for (qint32 i = 0; i < count; ++i)
        body->m_fixtures.append(Fixture::read(stream, body.get()));
    return body.release();
}
