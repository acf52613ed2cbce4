// One frame of the activity chart at 800x600, drawn offscreen into an image, with a week of
// data and a view that turns between frames as it does while a bar is dragged.
#include "app/gui/activitychart.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cmath>

namespace {

void fillWeek(ActivityChart &chart) {
    for (int d = 0; d < ActivityChart::Days; ++d)
        for (int h = 0; h < ActivityChart::Hours; ++h)
            chart.setPoint(d, h, 6 + 5 * std::sin((h - 8 + d) * 0.3) + (d == 5 || d == 6) * 3);
}

void BM_ChartFrame800x600(benchmark::State &state) {
    ActivityChart chart;
    chart.resize(800, 600);
    fillWeek(chart);
    chart.setMarkedDay(3);
    QImage image(800, 600, QImage::Format_ARGB32_Premultiplied);
    int rotation = -90;
    for (auto _ : state) {
        // A new view every frame: nothing of the projection is reused between frames.
        chart.setRotation(rotation);
        chart.setElevation(-rotation / 3);
        rotation = rotation >= 90 ? -90 : rotation + 1;
        QPainter painter(&image);
        chart.paintChart(painter, image.rect());
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_ChartFrame800x600)->Unit(benchmark::kMillisecond);

} // namespace
