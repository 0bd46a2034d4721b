// Traces small images of every format, drawn from the input bytes, with
// OutlineTracer and with ReferenceTracer, and aborts on any difference in the
// alpha read from scan lines, the frame composite, the contour or the polygon
// (compared bit for bit). A crash, a hang or runaway memory in either is a bug
// as well.
//
// Input: width, height, format, threshold, flags, start x, start y, four
// tolerance bytes, then the colour table (indexed formats) and the pixel
// bytes; a second frame follows when the flags ask for a composite.

#include "alphasource.h"
#include "framecomposite.h"
#include "outlinetracer.h"
#include "referencetracer.h"

#include <QImage>
#include <QVector>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void dropMessage(QtMsgType, const QMessageLogContext&, const QString&)
{
    // QImage::pixel warns for each index beyond a colour table.
}

class Input
{
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::uint8_t byte()
    {
        return m_position < m_size ? m_data[m_position++] : 0;
    }
    void fill(uchar* out, std::size_t count)
    {
        const std::size_t available = m_position < m_size ? m_size - m_position : 0;
        const std::size_t taken = count < available ? count : available;
        if (taken)
            std::memcpy(out, m_data + m_position, taken);
        std::memset(out + taken, 0, count - taken);
        m_position += taken;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

constexpr int maxSide = 48;

QImage readImage(Input& in, QImage::Format format)
{
    const int width = 1 + in.byte() % maxSide;
    const int height = 1 + in.byte() % maxSide;
    QImage image(width, height, format);
    if (image.isNull())
        std::abort();
    if (format == QImage::Format_Indexed8 || format == QImage::Format_Mono || format == QImage::Format_MonoLSB) {
        // Indexed images get a table of any length; one-bit images keep at
        // least the two entries their pixels can name.
        int entries = in.byte();
        if (format != QImage::Format_Indexed8)
            entries = 2 + entries % 3;
        QVector<QRgb> table(entries);
        for (QRgb& colour : table) {
            colour = QRgb(in.byte()) << 24 | QRgb(in.byte()) << 16 | QRgb(in.byte()) << 8 | in.byte();
        }
        image.setColorTable(table);
    }
    for (int y = 0; y < height; ++y)
        in.fill(image.scanLine(y), std::size_t(image.bytesPerLine()));
    return image;
}

bool same(const QVector<QPointF>& a, const QVector<QPointF>& b)
{
    return a.size() == b.size() && std::memcmp(a.constData(), b.constData(), sizeof(QPointF) * std::size_t(a.size())) == 0;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// Scan-line alpha, whole or a strip at a time, is what QImage::pixel reports.
void checkAlpha(const QImage& image)
{
    const AlphaSource whole(image);
    const AlphaSource strips(image, 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(image.pixel(x, y));
            check(whole.alpha(x, y) == alpha);
            check(strips.alpha(x, y) == alpha);
        }
    }
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool quiet = (qInstallMessageHandler(dropMessage), true);
    Q_UNUSED(quiet)

    Input in(data, size);
    const int formatCount = QImage::NImageFormats - 1;
    const auto format = QImage::Format(1 + in.byte() % formatCount);
    const int alpha = in.byte();
    const int threshold = alpha == 0 ? -1 - int(in.byte() % 2) : alpha;  // now and then below 0
    const std::uint8_t flags = in.byte();
    const int startX = std::int8_t(in.byte());
    const int startY = std::int8_t(in.byte());
    std::uint8_t toleranceBytes[4];
    for (std::uint8_t& b : toleranceBytes)
        b = in.byte();
    float tolerance;
    if (flags & 0x40) {
        std::memcpy(&tolerance, toleranceBytes, sizeof tolerance);  // any float: NaN, infinities, tiny
    } else {
        tolerance = float(toleranceBytes[0]) / 16.0f;
    }
    const int modes[] = {0, 1, 1, 0, 2, 1, 0, -1};
    const auto mode = TraceMode(modes[flags & 7]);
    const auto frames = AnimationTraceMode((flags >> 3) & 3);

    QImage traced = readImage(in, format);
    checkAlpha(traced);
    if (frames == AnimationTraceMode::AllFramesIntersection || frames == AnimationTraceMode::AllFramesUnion) {
        const QImage second = readImage(in, QImage::Format(1 + in.byte() % formatCount));
        const QList<QImage> list{traced, second};
        const QImage composite = FrameComposite::build(list, traced.size(), frames, threshold);
        check(composite == ReferenceTracer::frameComposite(list, traced.size(), frames, threshold));
        FrameComposite streamed(traced.size(), frames, threshold);
        streamed.addFrame(traced);
        streamed.addFrame(second);
        check(streamed.image() == composite);
        traced = composite;
    }

    OutlineTracer fast;
    ReferenceTracer reference;
    if (flags & 0x20) {
        fast.setStartPixel(startX, startY);
        reference.setStartPixel(startX, startY);
    }
    // Twice, the second time from another start pixel on the same tracers: a
    // walk that finds nothing must leave the first outline in both.
    for (int round = 0; round < 2; ++round) {
        check(fast.trace(traced, threshold, mode) == reference.trace(traced, threshold, mode));
        check(same(fast.contour(), reference.contour()));
        for (float t : {tolerance, 0.0f, 1.0f}) {
            check(same(fast.polygon(t), reference.polygon(t)));
        }
        fast.setStartPixel(startY, startX);
        reference.setStartPixel(startY, startX);
    }
    return 0;
}
