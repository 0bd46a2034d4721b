// Convex decomposition of traced sprite outlines: the shipped implementation,
// the plain reference it must match, and CGAL's approx_convex_partition_2 as an
// outside point of comparison. Outlines are traced from generated sprite masks
// (pixel corners, as the tracer produces them) and then simplified to about
// 50, 200, 1000 and 5000 vertices.

#include "convexdecomposition.h"
#include "referencedecomposition.h"

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Partition_traits_2.h>
#include <CGAL/Polygon_2.h>
#include <CGAL/partition_2.h>

#include <QPolygonF>
#include <QRandomGenerator>
#include <QtMath>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <list>
#include <map>
#include <queue>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Traits = CGAL::Partition_traits_2<Kernel>;
using CgalPolygon = Traits::Polygon_2;

// The reference is cubic; past this size one run takes minutes.
constexpr int referenceLimit = 1000;

// ---------------------------------------------------------------------------
// Sprite masks.

struct Mask
{
    int size = 0;
    std::vector<std::uint8_t> bits;
    bool at(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < size && y < size && bits[std::size_t(y * size + x)];
    }
};

using Shape = std::function<bool(double x, double y)>; // coordinates in [-1, 1]

Shape smoothBlob()
{
    // Three soft balls melted together.
    return [](double x, double y) {
        const double balls[3][3] = {{-0.3, -0.1, 0.45}, {0.35, 0.05, 0.4}, {0.0, 0.4, 0.35}};
        double field = 0;
        for (const auto& b : balls) {
            const double dx = x - b[0], dy = y - b[1];
            field += b[2] * b[2] / (dx * dx + dy * dy + 1e-9);
        }
        return field > 1.0;
    };
}

Shape spikyStar()
{
    return [](double x, double y) {
        const double angle = std::atan2(y, x);
        const double radius = std::hypot(x, y);
        // Twelve spikes: the boundary radius falls off linearly from each tip.
        const double sector = 2 * M_PI / 12;
        double phase = std::fmod(angle + 2 * M_PI, sector) / sector; // 0..1
        phase = std::fabs(phase - 0.5) * 2;                           // 1 at a tip, 0 between
        return radius < 0.35 + 0.6 * phase;
    };
}

Shape jaggedOrganic()
{
    QRandomGenerator random(20240611);
    std::vector<std::array<double, 2>> harmonics;
    for (int k = 2; k < 60; ++k)
        harmonics.push_back({0.35 / std::pow(k, 0.8) * (random.generateDouble() - 0.5),
                             random.generateDouble() * 2 * M_PI});
    // The boundary radius by angle, tabulated: the masks have millions of pixels.
    constexpr int steps = 1 << 14;
    std::vector<double> table(steps + 1);
    for (int s = 0; s <= steps; ++s) {
        const double angle = -M_PI + 2 * M_PI * s / steps;
        double boundary = 0.62;
        for (std::size_t i = 0; i < harmonics.size(); ++i)
            boundary += harmonics[i][0] * std::sin(double(i + 2) * angle + harmonics[i][1]);
        table[std::size_t(s)] = boundary;
    }
    return [table](double x, double y) {
        const double position = (std::atan2(y, x) + M_PI) / (2 * M_PI) * steps;
        const int s = std::clamp(int(position), 0, steps - 1);
        const double f = position - s;
        const double boundary = table[std::size_t(s)] * (1 - f) + table[std::size_t(s) + 1] * f;
        return std::hypot(x, y) < boundary;
    };
}

Mask rasterize(const Shape& shape, int size)
{
    Mask mask;
    mask.size = size;
    mask.bits.assign(std::size_t(size) * std::size_t(size), 0);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double u = (x + 0.5) / size * 2 - 1, v = (y + 0.5) / size * 2 - 1;
            mask.bits[std::size_t(y * size + x)] = shape(u * 1.05, v * 1.05) ? 1 : 0;
        }
    }
    // Pixels touching only at a corner would make the outline touch itself;
    // a tracer's clean-up pass fills one of them, and so do we.
    bool changed = true;
    while (changed) {
        changed = false;
        for (int y = 0; y + 1 < size; ++y) {
            for (int x = 0; x + 1 < size; ++x) {
                const bool a = mask.at(x, y), b = mask.at(x + 1, y), c = mask.at(x, y + 1), d = mask.at(x + 1, y + 1);
                if ((a && d && !b && !c) || (b && c && !a && !d)) {
                    mask.bits[std::size_t(y * size + x + (a ? 1 : 0))] = 1;
                    changed = true;
                }
            }
        }
    }
    return mask;
}

// The outer boundary along pixel edges, counter-clockwise, one point per corner.
QPolygonF traceOutline(const Mask& mask)
{
    // Directed boundary edges with the filled pixel on the left.
    std::map<std::pair<int, int>, std::pair<int, int>> next;
    for (int y = 0; y < mask.size; ++y) {
        for (int x = 0; x < mask.size; ++x) {
            if (!mask.at(x, y))
                continue;
            if (!mask.at(x, y - 1))
                next[{x, y}] = {x + 1, y};
            if (!mask.at(x + 1, y))
                next[{x + 1, y}] = {x + 1, y + 1};
            if (!mask.at(x, y + 1))
                next[{x + 1, y + 1}] = {x, y + 1};
            if (!mask.at(x - 1, y))
                next[{x, y + 1}] = {x, y};
        }
    }
    QPolygonF best;
    double bestArea = 0;
    std::map<std::pair<int, int>, bool> used;
    for (const auto& entry : next) {
        if (used[entry.first])
            continue;
        QPolygonF loop;
        std::pair<int, int> at = entry.first;
        while (!used[at]) {
            used[at] = true;
            loop << QPointF(at.first, at.second);
            at = next[at];
        }
        double area = 0;
        for (int i = 0; i < loop.size(); ++i) {
            const QPointF& a = loop[i];
            const QPointF& b = loop[(i + 1) % loop.size()];
            area += a.x() * b.y() - b.x() * a.y();
        }
        if (std::fabs(area) > std::fabs(bestArea)) {
            bestArea = area;
            best = loop;
        }
    }
    if (bestArea < 0)
        std::reverse(best.begin(), best.end());
    // Keep the corners only.
    QPolygonF corners;
    for (int i = 0; i < best.size(); ++i) {
        const QPointF& a = best[(i + best.size() - 1) % best.size()];
        const QPointF& b = best[i];
        const QPointF& c = best[(i + 1) % best.size()];
        if ((b.x() - a.x()) * (c.y() - b.y()) - (b.y() - a.y()) * (c.x() - b.x()) != 0)
            corners << b;
    }
    return corners;
}

// Visvalingam-style: drop the vertex spanning the smallest triangle until
// `target` are left, as an outline simplifier does.
QPolygonF simplify(const QPolygonF& outline, int target)
{
    const int n = outline.size();
    if (n <= target)
        return outline;
    const std::size_t count = std::size_t(n);
    std::vector<int> prev(count), next(count), version(count, 0);
    std::vector<bool> alive(count, true);
    for (int i = 0; i < n; ++i) {
        prev[std::size_t(i)] = (i + n - 1) % n;
        next[std::size_t(i)] = (i + 1) % n;
    }
    auto area = [&](int i) {
        const QPointF& a = outline[prev[std::size_t(i)]];
        const QPointF& b = outline[i];
        const QPointF& c = outline[next[std::size_t(i)]];
        return std::fabs((b.x() - a.x()) * (c.y() - a.y()) - (c.x() - a.x()) * (b.y() - a.y()));
    };
    using Entry = std::tuple<double, int, int>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
    for (int i = 0; i < n; ++i)
        queue.emplace(area(i), i, 0);
    int remaining = n;
    while (remaining > target && !queue.empty()) {
        const auto [a, i, v] = queue.top();
        queue.pop();
        if (!alive[std::size_t(i)] || version[std::size_t(i)] != v)
            continue;
        alive[std::size_t(i)] = false;
        --remaining;
        const int p = prev[std::size_t(i)], q = next[std::size_t(i)];
        next[std::size_t(p)] = q;
        prev[std::size_t(q)] = p;
        for (int k : {p, q})
            queue.emplace(area(k), k, ++version[std::size_t(k)]);
    }
    QPolygonF result;
    for (int i = 0; i < n; ++i) {
        if (alive[std::size_t(i)])
            result << outline[i];
    }
    return result;
}

CgalPolygon toCgal(const QPolygonF& outline)
{
    CgalPolygon polygon;
    for (const QPointF& p : outline)
        polygon.push_back(Traits::Point_2(p.x(), p.y()));
    if (polygon.is_clockwise_oriented())
        polygon.reverse_orientation();
    return polygon;
}

struct Case
{
    std::string shape;
    int target = 0;
    QPolygonF outline;
    CgalPolygon cgal;
    bool cgalUsable = false;
};

Case makeCase(const std::string& name, const Shape& shape, int target)
{
    Case c;
    c.shape = name;
    c.target = target;
    // Large enough a sprite that its traced outline has plenty of corners to spare.
    for (int size = 64;; size *= 2) {
        const QPolygonF traced = traceOutline(rasterize(shape, size));
        if (traced.size() >= target * 3 / 2 || size >= 4096) {
            c.outline = simplify(traced, target);
            break;
        }
    }
    c.cgal = toCgal(c.outline);
    c.cgalUsable = c.cgal.is_simple();
    return c;
}

std::vector<Case>& cases()
{
    static std::vector<Case> all = [] {
        std::vector<Case> list;
        const std::pair<const char*, Shape> shapes[] = {
            {"blob", smoothBlob()}, {"star", spikyStar()}, {"jagged", jaggedOrganic()}};
        for (int target : {50, 200, 1000, 5000}) {
            for (const auto& shape : shapes)
                list.push_back(makeCase(shape.first, shape.second, target));
        }
        return list;
    }();
    return all;
}

void runFast(benchmark::State& state, const Case& c)
{
    int pieces = 0;
    for (auto _ : state) {
        const QVector<QPolygonF> result = ConvexDecomposition::decompose(c.outline);
        pieces = result.size();
        benchmark::DoNotOptimize(pieces);
    }
    state.counters["vertices"] = c.outline.size();
    state.counters["pieces"] = pieces;
}

void runReference(benchmark::State& state, const Case& c)
{
    int pieces = 0;
    for (auto _ : state) {
        const QVector<QPolygonF> result = ReferenceDecomposition::decompose(c.outline);
        pieces = result.size();
        benchmark::DoNotOptimize(pieces);
    }
    state.counters["vertices"] = c.outline.size();
    state.counters["pieces"] = pieces;
}

void runCgal(benchmark::State& state, const Case& c)
{
    if (!c.cgalUsable) {
        state.SkipWithError("outline is not simple");
        return;
    }
    std::size_t pieces = 0;
    for (auto _ : state) {
        std::list<CgalPolygon> partition;
        CGAL::approx_convex_partition_2(c.cgal.vertices_begin(), c.cgal.vertices_end(),
                                        std::back_inserter(partition), Traits());
        pieces = partition.size();
        benchmark::DoNotOptimize(partition.size());
    }
    state.counters["vertices"] = double(c.cgal.size());
    state.counters["pieces"] = double(pieces);
}

double smallest(const std::vector<double>& values)
{
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

// The console output, then for every outline the shipped implementation's
// time beside CGAL's from the same run: the best repetition of each, since on
// a shared machine every disturbance only adds time (the medians are there
// too).
class ComparisonReporter : public benchmark::ConsoleReporter
{
public:
    ComparisonReporter()
        : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular)
    {
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            const std::string name = run.run_name.function_name;
            const std::string::size_type slash = name.find('/');
            const std::string kind = name.substr(0, slash);
            if (slash == std::string::npos || (kind != "BM_DecompositionFast" && kind != "BM_DecompositionCgal"))
                continue;
            const std::string outline = name.substr(slash + 1);
            auto found = std::find_if(m_times.begin(), m_times.end(),
                                      [&](const auto& entry) { return entry.first == outline; });
            if (found == m_times.end())
                found = m_times.insert(m_times.end(), {outline, Times()});
            Times& times = found->second;
            Time& time = kind == "BM_DecompositionFast" ? times.fast : times.cgal;
            const double microseconds = run.GetAdjustedRealTime(); // in the benchmarks' unit
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "min") {
                time.best = time.best > 0 ? std::min(time.best, microseconds) : microseconds;
            } else if (run.aggregate_name == "median") {
                time.median = microseconds;
            }
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        bool header = false;
        for (const auto& entry : m_times) {
            const Times& t = entry.second;
            if (!(t.fast.best > 0 && t.cgal.best > 0))
                continue;
            if (!header) {
                std::printf("\n%-14s %12s %12s %8s %12s %12s %8s\n", "outline", "fast best", "CGAL best", "ratio",
                            "fast median", "CGAL median", "ratio");
                header = true;
            }
            std::printf("%-14s %9.2f us %9.2f us %8.1f", entry.first.c_str(), t.fast.best, t.cgal.best,
                        t.cgal.best / t.fast.best);
            if (t.fast.median > 0 && t.cgal.median > 0)
                std::printf(" %9.2f us %9.2f us %8.1f", t.fast.median, t.cgal.median, t.cgal.median / t.fast.median);
            std::printf("\n");
        }
        std::fflush(stdout);
    }

private:
    struct Time
    {
        double best = 0;
        double median = 0;
    };
    struct Times
    {
        Time fast, cgal;
    };
    std::vector<std::pair<std::string, Times>> m_times; // in the order they ran
};

}

int main(int argc, char** argv)
{
    for (const Case& c : cases()) {
        const std::string suffix = "/" + c.shape + "/" + std::to_string(c.target);
        if (c.outline.size() <= referenceLimit) {
            benchmark::RegisterBenchmark(("BM_DecompositionReference" + suffix).c_str(), runReference, c)
                ->Unit(benchmark::kMicrosecond);
        }
        benchmark::RegisterBenchmark(("BM_DecompositionFast" + suffix).c_str(), runFast, c)
            ->Unit(benchmark::kMicrosecond)
            ->ComputeStatistics("min", smallest);
        benchmark::RegisterBenchmark(("BM_DecompositionCgal" + suffix).c_str(), runCgal, c)
            ->Unit(benchmark::kMicrosecond)
            ->ComputeStatistics("min", smallest);
    }
    benchmark::Initialize(&argc, argv);
    ComparisonReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
