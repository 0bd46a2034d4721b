#pragma once

#include <QPixmap>
#include <QString>

// Decoded sprite images and their list icons, shared by every body that shows
// the same file, so a file is decoded once however many bodies use it.
namespace ImageCache {

struct Entry
{
    QPixmap pixmap;  // null when the file cannot be read as an image
    QPixmap icon;    // 32 x 32
};

Entry load(const QString& file);

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
// Forgets every entry (files are read again on their next use).
void clear();
// How many image files have been decoded so far.
int decodeCount();

}
