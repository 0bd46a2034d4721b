#pragma once

#include "tracemode.h"

#include <QImage>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QPolygonF>
#include <QSize>
#include <QVector>

// The outline tracer written step by step as the algorithm reads: one
// QImage::pixel call per inside test, one QPointF per walked point, a
// recursive Douglas-Peucker. Too slow for large sprites and its recursion
// grows with the outline, but short enough to check by reading, so the
// tests, the fuzz target and the benchmark hold OutlineTracer and
// FrameComposite to its output, point for point and bit for bit.
class ReferenceTracer final
{
public:
    // Same contracts as the OutlineTracer functions of the same names.
    void setStartPixel(int x, int y);
    bool trace(const QImage& image, int alphaThreshold, TraceMode mode);
    QPolygonF polygon(float tolerance) const;
    QVector<QPointF> contour() const { return m_contour; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    // Same contract as FrameComposite::build.
    static QImage frameComposite(const QList<QImage>& frames, const QSize& size, AnimationTraceMode mode,
                                 int alphaThreshold);

private:
    bool inside(int x, int y) const;
    bool findStart(int& sx, int& sy) const;
    void walkNatural(int sx, int sy);
    void walkStraight(int sx, int sy);
    static void simplify(const QVector<QPointF>& points, int a, int b, float t2, QVector<bool>& keep);

    QImage m_image;
    int m_threshold = 0;
    int m_width = 0;
    int m_height = 0;
    int m_startX = 0;
    int m_startY = 0;
    QVector<QPointF> m_contour;
};
