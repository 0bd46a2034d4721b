#pragma once

#include <QObject>
#include <QPixmap>
#include <QSize>
#include <QString>

// Decoded sprite images, shared by every body that shows the same file, so a
// file is decoded once however many bodies use it, and only when a body is
// shown, traced or previewed. The recently used images are kept within a
// memory budget; the least recently used go first.
namespace ImageCache {

struct Entry
{
    QPixmap pixmap;  // null when the file cannot be read as an image
    QPixmap icon;    // 32 x 32
};

Entry load(const QString& file);

// What the file's header says, without decoding its pixels.
struct Header
{
    QSize size;
    bool readable = false;
};
Header header(const QString& file);

// While a batch exists, each file is examined on disk once: loading thousands
// of bodies that share an image then costs one look at the disk, not thousands.
class Batch
{
public:
    Batch();
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
};
// The icon of a body whose image cannot be loaded.
QPixmap missingIcon();
// A blank icon that holds an icon's place until it is made.
QPixmap placeholderIcon();
// Forgets every entry and icon (files are read again on their next use).
void clear();
// How many image files have been decoded in full so far.
int decodeCount();

// The memory the decoded images may take (default 512 MB); lowering it drops
// the least recently used at once.
void setBudgetMegabytes(int megabytes);
int budgetMegabytes();
// What the decoded images held now take, in kilobytes.
int usedKilobytes();

// List icons, made on worker threads from reduced decodes. icon() gives the
// icon when it is ready and a null pixmap before; requestIcon() asks for it
// (once), and notifier() emits iconReady(file) on the GUI thread when it is.
QPixmap icon(const QString& file);
void requestIcon(const QString& file);
class Notifier final : public QObject
{
    Q_OBJECT
signals:
    void iconReady(const QString& file);
};
Notifier* notifier();
// Waits until every requested icon is made (for tests and benchmarks).
void waitForIcons();
// How many reduced decodes for icons have been made so far.
int iconDecodeCount();

}
