#pragma once

#include <QImage>
#include <QtTest>

#include <cstring>

// Helpers of the tracer and tracer dialog tests.
namespace TracerTestSupport {

// A picture drawn as text: '.' transparent, '#' opaque, '1' to '9' alpha 25 to 225.
inline QImage picture(const QStringList& rows)
{
    QImage image(rows.isEmpty() ? 0 : rows.first().size(), rows.size(), QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QChar c = rows.at(y).at(x);
            image.setPixel(x, y, qRgba(30, 60, 220, c == QLatin1Char('#') ? 255 : c.isDigit() ? c.digitValue() * 25 : 0));
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
    QString text[2];
    for (int i : {0, 1})
        for (const QPointF& p : i ? expected : actual)
            text[i] += QStringLiteral(" (%1, %2)").arg(p.x(), 0, 'g', 17).arg(p.y(), 0, 'g', 17);
    return QStringLiteral("\n  actual:  %1\n  expected:%2").arg(text[0], text[1]);
}

}

#define COMPARE_POINTS(actual, expected)                                      \
    do {                                                                      \
        const QString why_ = TracerTestSupport::difference(actual, expected); \
        QVERIFY2(why_.isEmpty(), qPrintable(why_));                           \
    } while (false)
