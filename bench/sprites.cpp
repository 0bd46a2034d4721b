#include "sprites.h"

#include <QtMath>

#include <cmath>
#include <random>
#include <vector>

namespace BenchSprites {

const char* name(Shape shape)
{
    switch (shape) {
    case Shape::Blob: return "blob";
    case Shape::Star: return "star";
    case Shape::Jagged: return "jagged";
    }
    return "?";
}

QImage draw(Shape shape, int side, double phase, bool striped)
{
    const double centre = side / 2.0;
    const double radius = side * 0.45;
    constexpr int angles = 16384;
    std::vector<float> edge(angles);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> angle(0, 2 * M_PI);
    std::vector<double> phases(64);
    for (double& p : phases)
        p = angle(random);
    std::vector<double> teeth(std::size_t(side / 2));
    std::uniform_real_distribution<double> depth(-0.012, 0.012);
    for (double& d : teeth)
        d = depth(random);
    for (int i = 0; i < angles; ++i) {
        const double t = 2 * M_PI * i / angles + phase;
        double r = 0;
        switch (shape) {
        case Shape::Blob:
            r = 0.86 + 0.07 * std::cos(2 * t + 0.3) + 0.05 * std::cos(3 * t + 1.1);
            break;
        case Shape::Star: {
            const double spike = std::fmod(t * 12 / (2 * M_PI) + 1000.0, 1.0);
            r = 0.45 + 0.55 * std::abs(1 - 2 * spike);
            break;
        }
        case Shape::Jagged: {
            r = 0.78;
            for (int k = 2; k < 64; ++k)
                r += 0.09 / k * std::cos(k * t + phases[std::size_t(k)]);
            // Rough on every scale: random teeth a few pixels apart.
            const double tooth = std::fmod(t / (2 * M_PI) + 1.0, 1.0) * teeth.size();
            const std::size_t a = std::size_t(tooth) % teeth.size();
            const std::size_t b = (a + 1) % teeth.size();
            const double f = tooth - std::floor(tooth);
            r += teeth[a] + (teeth[b] - teeth[a]) * f;
            break;
        }
        }
        edge[std::size_t(i)] = float(r * radius);
    }
    QImage image(side, side, QImage::Format_ARGB32);
    const double shift = phase * side * 0.02;
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < side; ++x) {
            const double dx = x + 0.5 - centre - shift;
            const double dy = y + 0.5 - centre;
            double t = std::atan2(dy, dx);
            if (t < 0)
                t += 2 * M_PI;
            const double r = edge[std::size_t(int(t / (2 * M_PI) * angles) % angles)];
            const int alpha = qBound(0, int(128 + (r - std::hypot(dx, dy)) * 128), 255);
            line[x] = striped ? qRgba((x / 8) % 2 ? 200 : 40, 160, (y / 8) % 2 ? 90 : 220, alpha)
                              : qRgba(40, 160, 90, alpha);
        }
    }
    return image;
}

}
