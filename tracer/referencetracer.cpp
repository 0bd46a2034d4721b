#include "referencetracer.h"

#include <QtMath>

namespace {

bool near(const QPointF& p, const QPointF& q)
{
    return qAbs(p.x() - q.x()) <= 1e-12 && qAbs(p.y() - q.y()) <= 1e-12;
}

float squaredLength(const QPointF& from, const QPointF& to)
{
    const float dx = float(to.x() - from.x());
    const float dy = float(to.y() - from.y());
    return dx * dx + dy * dy;
}

}

void ReferenceTracer::setStartPixel(int x, int y)
{
    m_startX = x;
    m_startY = y;
}

bool ReferenceTracer::inside(int x, int y) const
{
    return x >= 0 && x < m_width && y >= 0 && y < m_height && qAlpha(m_image.pixel(x, y)) > m_threshold;
}

bool ReferenceTracer::findStart(int& sx, int& sy) const
{
    if (m_startX != 0 || m_startY != 0) {
        if (!inside(m_startX, m_startY))
            return false;
        sx = m_startX;
        sy = m_startY;
        while (inside(sx, sy - 1))
            --sy;
        return true;
    }
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            if (inside(x, y)) {
                sx = x;
                sy = y;
                return true;
            }
        }
    }
    return false;
}

bool ReferenceTracer::trace(const QImage& image, int alphaThreshold, TraceMode mode)
{
    m_image = image;
    m_width = image.width();
    m_height = image.height();
    m_threshold = alphaThreshold;
    int sx = 0;
    int sy = 0;
    if (!findStart(sx, sy))
        return false;
    if (mode == TraceMode::Natural) {
        walkNatural(sx, sy);
        return true;
    }
    if (mode == TraceMode::Straight) {
        walkStraight(sx, sy);
        return true;
    }
    return false;
}

void ReferenceTracer::walkNatural(int sx, int sy)
{
    enum State { Top, Right, Bottom, Left };
    m_contour.clear();
    int cx = sx;
    int cy = sy;
    State state = Top;
    const QPointF start(sx, sy - 0.5);
    for (;;) {
        QPointF point;
        switch (state) {
        case Top:
            if (inside(cx + 1, cy - 1)) {
                cx += 1;
                cy -= 1;
                state = Left;
                point = QPointF(cx - 0.5, cy);
            } else if (inside(cx + 1, cy)) {
                cx += 1;
                state = Top;
                point = QPointF(cx, cy - 0.5);
            } else {
                state = Right;
                point = QPointF(cx + 0.5, cy);
            }
            break;
        case Right:
            if (inside(cx + 1, cy + 1)) {
                cx += 1;
                cy += 1;
                state = Top;
                point = QPointF(cx, cy - 0.5);
            } else if (inside(cx, cy + 1)) {
                cy += 1;
                state = Right;
                point = QPointF(cx + 0.5, cy);
            } else {
                state = Bottom;
                point = QPointF(cx, cy + 0.5);
            }
            break;
        case Bottom:
            if (inside(cx - 1, cy + 1)) {
                cx -= 1;
                cy += 1;
                state = Right;
                point = QPointF(cx + 0.5, cy);
            } else if (inside(cx - 1, cy)) {
                cx -= 1;
                state = Bottom;
                point = QPointF(cx, cy + 0.5);
            } else {
                state = Left;
                point = QPointF(cx - 0.5, cy);
            }
            break;
        case Left:
            if (inside(cx - 1, cy - 1)) {
                cx -= 1;
                cy -= 1;
                state = Bottom;
                point = QPointF(cx, cy + 0.5);
            } else if (inside(cx, cy - 1)) {
                cy -= 1;
                state = Left;
                point = QPointF(cx - 0.5, cy);
            } else {
                state = Top;
                point = QPointF(cx, cy - 0.5);
            }
            break;
        }
        m_contour.append(point);
        if (near(point, start))
            return;
    }
}

void ReferenceTracer::walkStraight(int sx, int sy)
{
    enum Direction { East, South, West, North };
    m_contour.clear();
    int cx = sx;
    int cy = sy;
    Direction direction = East;
    const QPointF start(sx, sy);
    for (;;) {
        Direction next = direction;
        switch (direction) {
        case East:
            cx += 1;
            if (inside(cx, cy - 1))
                next = North;
            else if (inside(cx, cy))
                next = East;
            else
                next = South;
            break;
        case South:
            cy += 1;
            if (inside(cx, cy))
                next = East;
            else if (inside(cx - 1, cy))
                next = South;
            else
                next = West;
            break;
        case West:
            cx -= 1;
            if (inside(cx - 1, cy))
                next = South;
            else if (inside(cx - 1, cy - 1))
                next = West;
            else
                next = North;
            break;
        case North:
            cy -= 1;
            if (inside(cx - 1, cy - 1))
                next = West;
            else if (inside(cx, cy - 1))
                next = North;
            else
                next = East;
            break;
        }
        if (next != direction)
            m_contour.append(QPointF(cx, cy));
        direction = next;
        if (near(QPointF(cx, cy), start))
            return;
    }
}

QPolygonF ReferenceTracer::polygon(float tolerance) const
{
    const int n = m_contour.size();
    if (n == 0)
        return {};

    QVector<QPointF> body;
    for (const QPointF& point : m_contour)
        body.append(QPointF(point.x(), m_height - point.y()));

    float best = -1.0f;
    int longest = 0;
    for (int i = 0; i < n; ++i) {
        const float length = squaredLength(body.at(i), body.at((i + 1) % n));
        if (length > best) {
            best = length;
            longest = i;
        }
    }
    QVector<QPointF> ring;
    for (int j = 0; j < n; ++j)
        ring.append(body.at((longest + 1 + j) % n));

    const float t2 = tolerance * tolerance;
    QVector<QPointF> kept;
    int lastKept = 0;
    kept.append(ring.at(0));
    for (int j = 1; j < n; ++j) {
        if (squaredLength(ring.at(lastKept), ring.at(j)) >= t2) {
            kept.append(ring.at(j));
            lastKept = j;
        }
    }
    if (lastKept != n - 1)
        kept.append(ring.at(n - 1));

    QVector<bool> keep(kept.size(), false);
    keep[0] = true;
    keep[kept.size() - 1] = true;
    simplify(kept, 0, kept.size() - 1, t2, keep);

    QPolygonF result;
    for (int k = 0; k < kept.size(); ++k) {
        if (keep.at(k))
            result.append(kept.at(k));
    }
    return result;
}

void ReferenceTracer::simplify(const QVector<QPointF>& points, int a, int b, float t2, QVector<bool>& keep)
{
    if (b <= a + 1)
        return;
    const QPointF& pa = points.at(a);
    const QPointF& pb = points.at(b);
    const QPointF u = pb - pa;
    float farthest = 0.0f;
    int farthestIndex = a;
    for (int k = a + 1; k < b; ++k) {
        const QPointF& pk = points.at(k);
        const QPointF w = pk - pa;
        const float p = float(QPointF::dotProduct(w, u));
        const float length = float(QPointF::dotProduct(u, u));
        QPointF closest;
        if (p <= 0)
            closest = pa;
        else if (p >= length)
            closest = pb;
        else
            closest = pa + (p / length) * u;
        const float d2 = squaredLength(closest, pk);
        if (d2 > farthest) {
            farthest = d2;
            farthestIndex = k;
        }
    }
    if (farthest > t2) {
        keep[farthestIndex] = true;
        simplify(points, a, farthestIndex, t2, keep);
        simplify(points, farthestIndex, b, t2, keep);
    }
}

QImage ReferenceTracer::frameComposite(const QList<QImage>& frames, const QSize& size, AnimationTraceMode mode,
                                       int alphaThreshold)
{
    const bool intersection = mode == AnimationTraceMode::AllFramesIntersection;
    if (!intersection && mode != AnimationTraceMode::AllFramesUnion)
        return {};
    QImage composite(size, QImage::Format_ARGB32);
    if (composite.isNull())
        return {};
    composite.fill(intersection ? qRgba(0, 0, 0, 255) : qRgba(0, 0, 0, 0));
    for (const QImage& frame : frames) {
        for (int y = 0; y < frame.height(); ++y) {
            for (int x = 0; x < frame.width(); ++x) {
                int a = qAlpha(frame.pixel(x, y));
                if (a < alphaThreshold)
                    a = 0;
                if (!composite.valid(x, y))
                    continue;
                const QRgb b = composite.pixel(x, y);
                if ((intersection && a < qAlpha(b)) || (!intersection && a > qAlpha(b)))
                    composite.setPixel(x, y, qRgba(qRed(b), qGreen(b), qBlue(b), a));
            }
        }
    }
    return composite;
}
