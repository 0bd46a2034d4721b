#pragma once

#include "genericdataprovider.h"

#include <QStandardItemModel>

#include <memory>

class Element;
class Exporter;
class QAction;
class QDir;
class QIODevice;
class QUndoStack;

// The document: the bodies as rows of a one-column item model, the
// document-level values, the current exporter and the undo stack.
class ElementListModel final : public QStandardItemModel, public GenericDataProvider
{
    Q_OBJECT
public:
    explicit ElementListModel(QObject* parent = nullptr);
    ~ElementListModel() override;

    // Provider behaviour.
    void notifyValueChanged() override;
    void pushUndoCommand(QUndoCommand* command) override;
    QVariant defaultValue(const QString& name) const override;
    QStringList sharedStringList(const QString& name) const override;
    void setSharedStringList(const QString& name, const QStringList& list) override;

    // Item model behaviour: bodies are edited in place and image files dropped on the list.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    bool isModified() const { return m_modified; }
    void setModified(bool modified);
    QString fileName() const { return m_fileName; }

    Exporter* exporter() const { return m_exporter; }
    void setExporter(Exporter* exporter);
    QString exporterName() const;
    // The exporter the loaded file was saved with, installed or not; empty when
    // the file names none.
    QString storedExporterName() const { return m_storedExporterName; }
    QString exporterDisplayName() const;

    QString exportFileName() const;
    void setExportFileName(const QString& fileName);

    QUndoStack* undoStack() const { return m_undoStack.get(); }
    QAction* createUndoAction(QObject* parent) const;
    QAction* createRedoAction(QObject* parent) const;

    int elementCount() const { return rowCount(); }
    Element* element(int row) const;
    QList<Element*> elements() const;

    // Adds an image file as a new body named after the file.
    Element* addFile(const QString& path);
    // Adds a body made elsewhere (its size set), with its anchor point where
    // the exporter wants it, as the undo step "Add file".
    void addNewBody(Element* body);
    // Adds the files as one animated body with those frames, showing the
    // first, named after their sequence (see frameSequences()); one undo step.
    Element* addFrames(const QStringList& paths);
    // The files grouped into numbered sequences of frames: files whose paths
    // differ only in the number right before the extension (walk_01.png,
    // walk_2.png, walk_10.png) form one group, sorted by that number; any
    // other file is a group of its own. Groups come in the order of their
    // first file in `files`.
    static QList<QStringList> frameSequences(const QStringList& files);
    // The name of the sequence a file opens: "walk" for walk_01.png.
    static QString sequenceName(const QString& file);
    void addElement(const QString& text, Element* body);
    void deleteElement(Element* body);
    bool cloneElement(const QModelIndex& index);
    // The name with a " (n)" suffix that no body of the document has yet.
    QString uniqueName(const QString& name) const;
    static QPair<QString, int> splitName(const QString& name);

    void notifyElementChanged(Element* body);

    // Used by the undo commands: the document does not own a body taken out.
    void appendElement(Element* body);
    void takeElement(Element* body);

    // The project file. save() keeps the previous file when it cannot write the
    // whole document; load() throws Error when the file is not a valid project.
    bool save(const QString& fileName);
    // Writes what save() writes, image paths relative to the copy, and leaves
    // the document's file name and modified flag alone (recovery copies).
    bool writeCopy(const QString& fileName) const;
    // The bytes of the project file, image paths relative to `dir`.
    bool writeTo(QIODevice& device, const QDir& dir) const;
    bool load(const QString& fileName);

signals:
    void redisplayElement(Element* body);
    void globalValueChanged();
    void modifiedChanged(bool modified);

private:
    void readBodies(QDataStream& stream, const QDir& dir);

    std::unique_ptr<QUndoStack> m_undoStack;
    Exporter* m_exporter = nullptr;
    QString m_fileName;
    QString m_storedExporterName;
    bool m_modified = false;
};
