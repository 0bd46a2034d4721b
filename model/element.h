#pragma once

#include "genericdataprovider.h"

#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointF>
#include <QSize>
#include <QStandardItem>

class ElementListModel;
class Exporter;
class Fixture;
class QDataStream;
class QDir;

// A body: one sprite image (or a set of animation frames), its anchor point
// and its fixtures. It is a row of the document's item model.
class Element final : public QObject, public GenericDataProvider, public QStandardItem
{
    Q_OBJECT
public:
    enum { Type = QStandardItem::UserType + 1 };

    Element(ElementListModel* document, Exporter* exporter);
    Element(ElementListModel* document, Exporter* exporter, const QString& name, const QString& imageFile);
    ~Element() override;

    // Item model behaviour.
    int type() const override { return Type; }
    QVariant data(int role = Qt::UserRole + 1) const override;
    void setData(const QVariant& value, int role = Qt::UserRole + 1) override;

    // Provider behaviour.
    void notifyValueChanged() override;
    void pushUndoCommand(QUndoCommand* command) override;
    QVariant defaultValue(const QString& name) const override;
    QStringList sharedStringList(const QString& name) const override;
    void setSharedStringList(const QString& name, const QStringList& list) override;

    ElementListModel* document() const { return m_document; }
    Exporter* exporter() const { return m_exporter; }
    void setExporter(Exporter* exporter);

    QString name() const;
    void setName(const QString& name);
    QSize size() const;
    QStringList imageFileNames() const;
    QString currentImageName() const;

    // The shown image, decoded now if it is not in the image cache.
    QPixmap pixmap() const;
    // The list icon; null until it has been made (see data()).
    QPixmap icon() const { return m_icon; }
    bool isImageValid() const { return m_imageValid; }

    void setCurrentImage(const QString& file);
    void addImageFileName(const QString& file);
    void addImageFileNameDirect(const QString& file);
    void removeImageFileName(const QString& file);
    // Shows the file: reads its size from the image header; the pixels are
    // decoded when pixmap() is first asked for.
    void loadPixmap(const QString& file);
    void refreshImage();
    // Shows one frame of an animated body without changing the current image.
    void showImage(int index);

    QPointF anchorPointAbs() const;
    void moveAnchorPoint(const QPointF& from, const QPointF& to);
    void setAnchorPointAbsDirect(const QPointF& point);
    QPointF anchorPointRel() const;
    // Between body coordinates (y up) and the exporter's y axis; its own inverse.
    QPointF toDisplayPoint(const QPointF& point) const;

    // Frames in the order of their numbers: walk_2.png before walk_10.png.
    // Where the digit runs are as long, as in walk_02.png and walk_10.png,
    // this is the plain order of the strings.
    static bool framesInOrder(const QString& a, const QString& b);

    const QList<Fixture*>& fixtures() const { return m_fixtures; }
    void addFixture(Fixture* fixture);
    // Appends the fixtures (new ones, owned by the body from now on) as one undo step.
    void addFixtures(const QList<Fixture*>& fixtures, const QString& undoText);
    void deleteFixture(Fixture* fixture);
    // Used by undo and redo, and while reading.
    void setFixturesDirect(const QList<Fixture*>& fixtures) { m_fixtures = fixtures; }

    // The body section of the project file; paths are written relative to `dir`.
    void save(QDataStream& stream, const QDir& dir) const;
    // Reads a body section into a new body (not yet in the document); throws Error.
    static Element* read(QDataStream& stream, ElementListModel* document, Exporter* exporter, const QDir& dir);

signals:
    void anchorPointChanged();
    void pixmapChanged();

private:
    void addImageFileName(const QString& file, bool undoable);

    QList<Fixture*> m_fixtures;
    void takeIcon(const QString& file);

    QString m_pixmapFile;  // the file shown
    mutable QPixmap m_icon;
    Exporter* m_exporter;
    ElementListModel* m_document;
    mutable bool m_imageValid = false;
    mutable bool m_iconRequested = false;
};
