#pragma once

#include "outlinetracer.h"

#include <QImage>
#include <QPointF>
#include <QStringList>
#include <QVector>
#include <QtTest>

#include <cstring>

// Helpers of the tracer and tracer dialog tests (both link the tracer).
namespace TracerTestSupport {

// A picture drawn as text: '.' transparent, '#' opaque, '1' to '9' alpha 25 to 225.
inline QImage picture(const QStringList& rows)
{
    const int width = rows.isEmpty() ? 0 : rows.first().size();
    QImage image(width, rows.size(), QImage::Format_ARGB32);
    for (int y = 0; y < rows.size(); ++y) {
        for (int x = 0; x < width; ++x) {
            const QChar c = rows.at(y).at(x);
            image.setPixel(x, y, qRgba(30, 60, 220, c == QLatin1Char('#') ? 255 : c.isDigit() ? c.digitValue() * 25 : 0));
        }
    }
    return image;
}

// Empty when the points are the same bit for bit (QPointF's operator== forgives
// small differences), else both lists for the failure message.
inline QString difference(const QVector<QPointF>& actual, const QVector<QPointF>& expected)
{
    if (actual.size() == expected.size()
        && std::memcmp(actual.constData(), expected.constData(), sizeof(QPointF) * size_t(actual.size())) == 0)
        return {};
    auto describe = [](const QVector<QPointF>& points) {
        QStringList parts;
        for (const QPointF& p : points)
            parts << QStringLiteral("(%1, %2)").arg(p.x(), 0, 'g', 17).arg(p.y(), 0, 'g', 17);
        return parts.join(QLatin1Char(' '));
    };
    return QStringLiteral("\n  actual:   %1\n  expected: %2").arg(describe(actual), describe(expected));
}

// What the tracer gives for one image on its own.
inline QPolygonF traced(const QImage& image, int threshold, TraceMode mode, float tolerance, QPoint start = {})
{
    OutlineTracer tracer;
    tracer.setStartPixel(start.x(), start.y());
    tracer.trace(image, threshold, mode);
    return tracer.polygon(tolerance);
}

}

#define COMPARE_POINTS(actual, expected)                                                                   \
    do {                                                                                                   \
        const QString difference_ = TracerTestSupport::difference(actual, expected);                        \
        QVERIFY2(difference_.isEmpty(), qPrintable(difference_));                                          \
    } while (false)
