#include "elementlistmodel.h"

#include "element.h"
#include "error.h"
#include "exporter.h"
#include "exporterregistry.h"
#include "imagecache.h"
#include "streamio.h"
#include "undoaddelement.h"
#include "undodeleteelement.h"

#include <QAction>
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QRegularExpression>
#include <QSaveFile>
#include <QtEndian>
#include <QUndoStack>
#include <QUrl>

#include <algorithm>

namespace {
constexpr qint32 mainTag = StreamIO::tag("HWRT");
constexpr qint32 mainVersion = 4;
constexpr int maxDroppedFiles = 32;
const QString exportFileNameKey = QStringLiteral("exportFileName");
const QString uriListType = QStringLiteral("text/uri-list");

const QString filterBitfieldKey = QStringLiteral("filter_bitfield");

// The named bits of old files: a count, then that many strings or fewer when the file ends first.
QStringList readFilterList(QDataStream& stream)
{
    qint32 count = 0;
    stream >> count;
    StreamIO::checkStatus(stream);
    QStringList list;
    for (qint32 i = 0; i < count && !stream.atEnd(); ++i)
        list << StreamIO::readString(stream);
    return list;
}
}

ElementListModel::ElementListModel(QObject* parent)
    : QStandardItemModel(parent)
    , m_undoStack(std::make_unique<QUndoStack>())
{
    setColumnCount(1);
    setHorizontalHeaderLabels({tr("Bodies")});
    // Undo and redo change the document as much as a new edit does.
    connect(m_undoStack.get(), &QUndoStack::indexChanged, this, [this]() { setModified(true); });
}

ElementListModel::~ElementListModel()
{
    // Commands free the bodies and fixtures only they hold; the rows go after.
    m_undoStack.reset();
}

void ElementListModel::notifyValueChanged()
{
    emit globalValueChanged();
}

void ElementListModel::pushUndoCommand(QUndoCommand* command)
{
    setModified(true);
    m_undoStack->push(command);
}

void ElementListModel::setModified(bool modified)
{
    if (modified == m_modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}

QVariant ElementListModel::defaultValue(const QString& name) const
{
    return m_exporter ? m_exporter->globalDefault(name) : QVariant();
}

QStringList ElementListModel::sharedStringList(const QString& name) const
{
    const QVariant list = value(name);
    return list.isValid() ? list.toStringList() : QStringList();
}

void ElementListModel::setSharedStringList(const QString& name, const QStringList& list)
{
    setValue(name, QVariant(list));
}

Qt::ItemFlags ElementListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;
}

Qt::DropActions ElementListModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

QStringList ElementListModel::mimeTypes() const
{
    return {uriListType};
}

bool ElementListModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int, int column,
                                    const QModelIndex&)
{
    if (action == Qt::IgnoreAction)
        return true;
    if (column > 0 || !data || !data->hasFormat(uriListType))
        return false;
    const QList<QUrl> urls = data->urls().mid(0, maxDroppedFiles);
    for (const QUrl& url : urls) {
        // Only files on this machine can become sprites.
        const QString path = url.toLocalFile();
        if (!path.isEmpty())
            addFile(path);
    }
    return true;
}

void ElementListModel::setExporter(Exporter* exporter)
{
    m_exporter = exporter;
    const QList<Element*> bodies = elements();
    for (Element* body : bodies)
        body->setExporter(exporter);
}

QString ElementListModel::exporterName() const
{
    return m_exporter ? m_exporter->name() : QString();
}

QString ElementListModel::exporterDisplayName() const
{
    return m_exporter ? m_exporter->displayName() : QString();
}

QString ElementListModel::exportFileName() const
{
    return value(exportFileNameKey).toString();
}

void ElementListModel::setExportFileName(const QString& fileName)
{
    setValue(exportFileNameKey, fileName);
}

QAction* ElementListModel::createUndoAction(QObject* parent) const
{
    QAction* action = m_undoStack->createUndoAction(parent, QString());
    action->setShortcuts(QKeySequence::Undo);
    return action;
}

QAction* ElementListModel::createRedoAction(QObject* parent) const
{
    QAction* action = m_undoStack->createRedoAction(parent, QString());
    action->setShortcuts(QKeySequence::Redo);
    return action;
}

Element* ElementListModel::element(int row) const
{
    QStandardItem* row0 = item(row);
    return row0 && row0->type() == Element::Type ? static_cast<Element*>(row0) : nullptr;
}

QList<Element*> ElementListModel::elements() const
{
    QList<Element*> bodies;
    for (int row = 0; row < rowCount(); ++row) {
        if (Element* body = element(row))
            bodies << body;
    }
    return bodies;
}

Element* ElementListModel::addFile(const QString& path)
{
    auto* body = new Element(this, m_exporter, uniqueName(QFileInfo(path).baseName()), path);
    addNewBody(body);
    return body;
}

Element* ElementListModel::addFrames(const QStringList& paths)
{
    if (paths.isEmpty())
        return nullptr;
    const QString first = paths.first();
    auto* body = new Element(this, m_exporter, uniqueName(sequenceName(first)), first);
    for (const QString& path : paths.mid(1))
        body->addImageFileNameDirect(path);
    body->setValueDirect(QStringLiteral("currentImageName"), first);
    body->loadPixmap(first);
    addNewBody(body);
    return body;
}

void ElementListModel::addNewBody(Element* body)
{
    // A new body starts with the anchor point where the exporter wants it.
    if (m_exporter && body->size().isValid()) {
        const QPointF anchor(body->size().width() * m_exporter->anchorPointRelX(),
                             body->size().height() * m_exporter->anchorPointRelY());
        // The top-left corner is where an anchor that was never set is anyway.
        if (!anchor.isNull())
            body->setAnchorPointAbsDirect(anchor);
    }
    addElement(tr("Add file"), body);
}

QString ElementListModel::sequenceName(const QString& file)
{
    static const QRegularExpression separators(QStringLiteral("[\\s_.-]*\\d+$"));
    const QString stem = QFileInfo(file).completeBaseName();
    const QString name = QString(stem).remove(separators);
    return name.isEmpty() ? stem : name;
}

QList<QStringList> ElementListModel::frameSequences(const QStringList& files)
{
    // The number must directly precede the extension, in the file's name.
    static const QRegularExpression numbered(QStringLiteral("^(.*?)\\d+(\\.[^./\\\\]*)$"));
    QStringList keys;
    QList<QStringList> groups;
    for (const QString& file : files) {
        const QRegularExpressionMatch match = numbered.match(file);
        const int at = match.hasMatch() ? keys.indexOf(match.captured(1) + match.captured(2)) : -1;
        if (at >= 0) {
            groups[at] << file;
        } else {
            keys << (match.hasMatch() ? match.captured(1) + match.captured(2) : QString());
            groups << QStringList{file};
        }
    }
    // In the order a body keeps its frames: by number, however many digits it has.
    for (QStringList& group : groups)
        std::stable_sort(group.begin(), group.end(), Element::framesInOrder);
    return groups;
}

void ElementListModel::addElement(const QString& text, Element* body)
{
    pushUndoCommand(new UndoAddElement(text, this, body));
}

void ElementListModel::deleteElement(Element* body)
{
    pushUndoCommand(new UndoDeleteElement(this, body));
}

bool ElementListModel::cloneElement(const QModelIndex& index)
{
    if (!index.isValid())
        return false;
    QStandardItem* found = itemFromIndex(index);
    if (!found || found->type() != Element::Type)
        return false;
    const auto* original = static_cast<Element*>(found);

    const QDir dir = QFileInfo(QString()).absoluteDir();
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    QDataStream stream(&buffer);
    StreamIO::prepare(stream);
    original->save(stream, dir);
    buffer.seek(0);
    Element* copy = Element::read(stream, this, m_exporter, dir);
    copy->setValueDirect(QStringLiteral("name"), uniqueName(original->name()));
    addElement(tr("clone body"), copy);
    return true;
}

QPair<QString, int> ElementListModel::splitName(const QString& name)
{
    static const QRegularExpression numbered(QStringLiteral("^(.*) \\((\\d+)\\)$"));
    const QRegularExpressionMatch match = numbered.match(name);
    if (match.hasMatch()) {
        bool ok = false;
        const int number = match.captured(2).toInt(&ok);
        // A number too large to count on is part of the name.
        if (ok && number < std::numeric_limits<int>::max())
            return {match.captured(1), number};
    }
    return {name, 1};
}

QString ElementListModel::uniqueName(const QString& name) const
{
    const QPair<QString, int> wanted = splitName(name.trimmed());
    int number = wanted.second;
    const QList<Element*> bodies = elements();
    for (const Element* body : bodies) {
        const QPair<QString, int> existing = splitName(body->name());
        if (existing.first == wanted.first)
            number = qMax(number, existing.second + 1);
    }
    return number <= 1 ? wanted.first : QStringLiteral("%1 (%2)").arg(wanted.first).arg(number);
}

void ElementListModel::notifyElementChanged(Element* body)
{
    emit itemChanged(body);
    emit redisplayElement(body);
}

void ElementListModel::appendElement(Element* body)
{
    appendRow(body);
}

void ElementListModel::takeElement(Element* body)
{
    if (body->model() == this)
        takeRow(body->row());
}

bool ElementListModel::save(const QString& fileName)
{
    m_fileName = fileName;
    return writeCopy(fileName);
}

bool ElementListModel::writeCopy(const QString& fileName) const
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // A stream that failed, data that did not reach the disk (commit() does not
    // notice a failing final flush) or a file that cannot replace the old one
    // is a failed save; the previous file stays as it was.
    if (!writeTo(file, QFileInfo(fileName).absoluteDir()) || !file.flush() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool ElementListModel::writeTo(QIODevice& device, const QDir& dir) const
{
    QHash<QString, QVariant> stored = values();
    rewritePaths(stored, exportFileNameKey, [&dir](const QString& path) { return dir.relativeFilePath(path); });

    QDataStream stream(&device);
    StreamIO::prepare(stream);
    stream << mainTag << mainVersion << exporterName() << exporterDisplayName() << stored << qint32(rowCount());
    const QList<Element*> bodies = elements();
    for (const Element* body : bodies)
        body->save(stream, dir);
    return stream.status() == QDataStream::Ok;
}

void ElementListModel::readBodies(QDataStream& stream, const QDir& dir)
{
    // Every body section takes at least its version number.
    const qint32 count = StreamIO::readCount(stream, 4);
    for (qint32 i = 0; i < count; ++i)
        appendRow(Element::read(stream, this, m_exporter, dir));
}

bool ElementListModel::load(const QString& fileName)
{
    UndoRecordingPause pause(this);
    m_fileName = fileName;
    QFile file(fileName);
    // Only regular files: a device or a pipe could feed the reader forever.
    if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    const QDir dir = QFileInfo(fileName).absoluteDir();

    // Reading from memory spares the buffered device's overhead on every small
    // field; a file too large to hold at once is read as it is.
    constexpr qint64 maxInMemory = 512 * 1024 * 1024;
    QBuffer inMemory;
    if (file.size() <= maxInMemory) {
        inMemory.setData(file.readAll());
        inMemory.open(QIODevice::ReadOnly);
    }
    QDataStream stream(inMemory.isOpen() ? static_cast<QIODevice*>(&inMemory) : &file);
    StreamIO::prepare(stream);
    ImageCache::Batch imageBatch;
    // Our files begin with the tag, or (the oldest ones) directly with a version we know.
    const QByteArray head = stream.device()->peek(sizeof(qint32));
    const qint32 first = head.size() == sizeof(qint32) ? qFromBigEndian<qint32>(head.constData()) : mainTag;
    if (first != mainTag && (first < 1 || first > mainVersion))
        throw Error(Error::ProjectFile,
                    QCoreApplication::translate("ProjectFile", "%1 is not a Hullwright project").arg(fileName));
    const qint32 version = StreamIO::readVersion(stream, mainTag);
    m_storedExporterName.clear();
    switch (version) {
    case 1:
    case 2:
        readBodies(stream, dir);
        if (version == 2 && !stream.atEnd())
            setValue(filterBitfieldKey, readFilterList(stream));
        break;
    case 3:
    case 4: {
        const QString name = StreamIO::readString(stream);
        m_storedExporterName = name;
        StreamIO::readString(stream);  // the display name, informative only
        setExporter(ExporterRegistry::instance().findExporter(name));
        setValues(StreamIO::readValueMap(stream));
        if (version == 3)
            setValue(filterBitfieldKey, readFilterList(stream));
        readBodies(stream, dir);
        makePathAbsolute(exportFileNameKey, dir);
        break;
    }
    default:
        throw Error(Error::ProjectFile,
                    QCoreApplication::translate("ProjectFile", "Can't read file: Main section version is %1")
                        .arg(version));
    }
    StreamIO::checkStatus(stream);
    return true;
}
