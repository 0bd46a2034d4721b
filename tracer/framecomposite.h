#pragma once

#include "tracemode.h"

#include <QImage>
#include <QList>
#include <QSize>

#include <vector>

// The image traced for "All frames" modes: per pixel, the intersection (least
// alpha) or the union (greatest alpha) of the alpha of every frame of a body,
// each frame's alpha counting as 0 where it is below the alpha threshold.
// Frames are added one at a time, so a caller can load each frame, add it and
// let it go. The composite has the body's size; pixels of a frame outside it
// are ignored.
//
// The tracer keeps only alphas above its threshold t, and zeroing the alphas
// below t first cannot move any alpha across t: so a composite built with
// threshold 0 (the plain least or greatest alpha) traced at t finds the same
// outline as one built with t. The tracer dialog builds it once that way and
// traces it at whatever threshold is set.
class FrameComposite final
{
public:
    // A composite of the given size for AllFramesIntersection (starting
    // opaque everywhere) or AllFramesUnion (starting transparent). Any other
    // mode, or an empty size, makes no composite: image() is then null.
    FrameComposite(const QSize& size, AnimationTraceMode mode, int alphaThreshold);

    void addFrame(const QImage& frame);

    // The composite so far as a 32-bit ARGB image (not premultiplied) whose
    // colour channels are 0; null when no composite is made.
    QImage image() const;

    // All frames in order; the same as adding them one by one.
    static QImage build(const QList<QImage>& frames, const QSize& size, AnimationTraceMode mode,
                        int alphaThreshold);

private:
    std::vector<uchar> m_alpha;  // one byte a pixel, row after row
    int m_width = 0;
    int m_height = 0;
    int m_threshold = 0;
    bool m_union = false;
    bool m_valid = false;
};
