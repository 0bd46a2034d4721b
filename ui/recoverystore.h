#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>

class ElementListModel;
class QLockFile;
class QThreadPool;

// Copies of documents with unsaved changes, kept in the user's data directory
// so that a crash or a kill loses little work. Each document window owns one
// store; while the store has an entry it holds that entry's lock file, so an
// entry whose lock can be taken belongs to an editor that is no longer running.
// An entry is three files named after its id: the copy (.hws), a JSON
// description (.json) and the lock (.lock).
class RecoveryStore final
{
public:
    // An entry of an editor that is no longer running. Its lock is held, so no
    // other starting editor offers it too, until the last copy of the entry goes.
    struct Entry
    {
        QString id;
        QString projectFile;
        // Where the user keeps the document; empty for an untitled one.
        QString originalFileName;
        QDateTime written;  // UTC
        qint64 processId = 0;
        std::shared_ptr<QLockFile> lock;
    };

    explicit RecoveryStore(const QString& directory = defaultDirectory());
    ~RecoveryStore();
    RecoveryStore(const RecoveryStore&) = delete;
    RecoveryStore& operator=(const RecoveryStore&) = delete;

    static QString defaultDirectory();
    QString directory() const { return m_directory; }

    // This store's files; empty until the first write.
    QString projectFile() const;
    QString sidecarFile() const;

    // Takes a copy of the document and its description and has them written,
    // each atomically, on a thread of the store's own; the document (file
    // name, modified flag) is left as it is. `originalFileName` is where the
    // user keeps it. False when no copy could be taken.
    bool write(const ElementListModel& document, const QString& originalFileName);
    // Waits until every copy taken has reached the disk (or failed to).
    void flush();
    // Deletes this store's entry: nothing unsaved is left to recover.
    void remove();

    // Entries of editors that are no longer running, oldest first, each locked.
    static QList<Entry> abandonedEntries(const QString& directory = defaultDirectory());
    // The entry's document, marked modified; null (and `problem` set) when the
    // copy cannot be read.
    static std::unique_ptr<ElementListModel> read(const Entry& entry, QString* problem = nullptr);
    // Deletes the entry's files and its lock.
    static void discard(Entry& entry);

private:
    bool claimId();

    QString m_directory;
    QString m_id;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QThreadPool> m_writer;
};
