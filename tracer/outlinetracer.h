#pragma once

#include "tracemode.h"

#include <QImage>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QPolygonF>
#include <QString>
#include <QStringList>
#include <QVector>

#include <vector>

// Turns the alpha channel of a sprite image into one closed, simplified
// polygon in body coordinates (image pixels, x right, y up, origin at the
// image's bottom-left corner).
//
// A pixel is inside when it lies in the image and its alpha (as QImage::pixel
// reports it; opaque for images without alpha) is strictly greater than the
// alpha threshold. One outline is walked: the one through the top side of the
// start pixel, with pixels touching only at a corner counted as connected.
// Other islands and holes are not traced. The walked outline is then turned
// so that its longest edge closes it, thinned by distance and simplified by
// Douglas-Peucker under the tolerance, with the rounding of single precision.
//
// The tracer dialog keeps one tracer for its lifetime: a press on the preview
// sets the start pixel, and every change of a control calls trace() and
// polygon() again. A trace that walks nothing keeps the previous outline.
//
// Every result matches ReferenceTracer point for point and bit for bit; this
// one reads scan lines instead of single pixels and needs no recursion, so it
// copes with images of any size and format.
class OutlineTracer final
{
public:
    // Everything the command line can choose for one trace.
    struct Options
    {
        TraceMode mode = TraceMode::Straight;
        float tolerance = 1.0f;
        int alphaThreshold = 0;
        QPoint startPixel;  // (0, 0): none, the first inside pixel in raster order
        AnimationTraceMode frames = AnimationTraceMode::SingleFrame;
    };

    struct Result
    {
        QPolygonF polygon;  // body coordinates of the first image
        QString error;      // empty on success; then polygon may still be empty

        bool ok() const { return error.isEmpty(); }
    };

    OutlineTracer();

    // The pixel (image coordinates, y down) whose vertical run of inside
    // pixels is followed up to its top, where the walk starts. (0, 0) clears
    // it: that pixel cannot be chosen and the raster scan decides instead. A
    // pixel outside the image or not inside makes every trace walk nothing.
    void setStartPixel(int x, int y);
    QPoint startPixel() const { return m_startPixel; }

    // Traces `image` (kept as a shallow copy) with the given threshold and
    // walker. Width, height and threshold are taken even when nothing is
    // walked. The contour is replaced only when a walker runs, which needs a
    // mode of Natural or Straight and a start pixel (see setStartPixel);
    // returns whether it ran.
    bool trace(const QImage& image, int alphaThreshold, TraceMode mode);

    // The current contour simplified with `tolerance` (image pixels), in body
    // coordinates of the last traced image's height; empty when no walk has
    // succeeded yet. Its longest edge is the closing edge. Fewer than three
    // points come back as they are.
    QPolygonF polygon(float tolerance) const;
    // The indices in contour() of the points of polygon(tolerance), in its order.
    QVector<int> polygonIndices(float tolerance) const;

    // The raw outline of the last walk in image coordinates (y down): pixel
    // side midpoints (Natural) or the corners where the walk turns (Straight).
    QVector<QPointF> contour() const;
    int contourSize() const { return int(m_contour.size()); }

    QImage image() const { return m_image; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    int alphaThreshold() const { return m_threshold; }

    // The command line's trace: with SingleFrame the first image is traced;
    // with AllFramesIntersection or AllFramesUnion the composite of all images
    // in order (FrameComposite), sized as the first. The polygon is in body
    // coordinates of the first image. Errors: no image, a null image, a mode,
    // frame mode, threshold (0 to 255) or tolerance (finite, 0 or more) out
    // of range.
    static Result traceImages(const QList<QImage>& images, const Options& options);
    // Why a walker, threshold and tolerance cannot be traced with (a mode
    // other than Natural or Straight, a threshold outside 0 to 255, a
    // tolerance that is negative or not finite); empty when they can.
    static QString optionsError(TraceMode mode, int alphaThreshold, float tolerance);
    // The same for image files, all of which are read first. A file that is
    // not a regular file or cannot be decoded gives the error
    // "Can't read image FILE: REASON" and no polygon.
    static Result traceFiles(const QStringList& fileNames, const Options& options);
    // Reads one image file as traceFiles() does: empty on success, else the
    // error "Can't read image NAME: REASON", NAME being `shownAs` if given.
    static QString readImageFile(const QString& fileName, QImage& image, const QString& shownAs = QString());

private:
    QImage m_image;
    int m_width = 0;
    int m_height = 0;
    int m_threshold = 0;
    QPoint m_startPixel;
    // Twice the image coordinates of each point, so that midpoints are whole.
    std::vector<QPoint> m_contour;
};
