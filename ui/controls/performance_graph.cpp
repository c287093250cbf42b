#include "ui/controls/performance_graph.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

namespace rd {

namespace {

// Grid lines closer than this would fill the graph rather than mark values.
constexpr int kMinGridSpacing = 3;

QColor Mix(const QColor& from, const QColor& to, int percentOfTo) {
    const auto blend = [percentOfTo](int a, int b) { return a + (b - a) * percentOfTo / 100; };
    return QColor(blend(from.red(), to.red()), blend(from.green(), to.green()),
                  blend(from.blue(), to.blue()));
}

}  // namespace

TPerformanceGraph::TPerformanceGraph(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPerformanceGraph::DataPoint(const QColor& color, int value) {
    points_.push_back({color, std::max(0, value)});
    Trim();
}

void TPerformanceGraph::SetBackColor(const QColor& color) {
    backColor_ = color;
    update();
}

void TPerformanceGraph::SetForeColor(const QColor& color) {
    foreColor_ = color;
    update();
}

bool TPerformanceGraph::SetStepSize(int step) {
    if (step < 1) {
        return false;
    }
    step_ = step;
    Trim();
    update();
    return true;
}

bool TPerformanceGraph::SetGraphKind(int kind) {
    if (kind != Bar && kind != Line) {
        return false;
    }
    kind_ = static_cast<Kind>(kind);
    update();
    return true;
}

bool TPerformanceGraph::SetGridSize(int size) {
    if (size < 1) {
        return false;
    }
    gridSize_ = size;
    update();
    return true;
}

bool TPerformanceGraph::SetScale(int scale) {
    if (scale < 1) {
        return false;
    }
    scale_ = scale;
    update();
    return true;
}

bool TPerformanceGraph::SetGradient(int percent) {
    if (percent < 0 || percent > 100) {
        return false;
    }
    gradient_ = percent;
    update();
    return true;
}

int TPerformanceGraph::Capacity() const {
    // The oldest point may show only partly at the left edge; the newest is always kept.
    return std::max(1, (width() + step_ - 1) / step_);
}

int TPerformanceGraph::FullScale() const {
    // The graph grows to its largest visible point, and Scale keeps a run of small values from
    // filling the whole height.
    int full = scale_;
    for (const Point& point : points_) {
        full = std::max(full, point.value);
    }
    return full;
}

void TPerformanceGraph::Trim() {
    const auto capacity = static_cast<size_t>(Capacity());
    while (points_.size() > capacity) {
        points_.pop_front();
    }
}

int TPerformanceGraph::Level(qint64 value, int fullScale, int height) {
    return static_cast<int>((value * height + fullScale / 2) / fullScale);
}

void TPerformanceGraph::resizeEvent(QResizeEvent* event) {
    Trim();
    QWidget::resizeEvent(event);
}

void TPerformanceGraph::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width();
    const int h = height();
    p.fillRect(rect(), backColor_);
    const int full = FullScale();

    if (Level(gridSize_, full, h) >= kMinGridSpacing) {
        p.setPen(Mix(backColor_, foreColor_, 33));
        for (qint64 value = gridSize_; value <= full; value += gridSize_) {
            const int y = h - Level(value, full, h);
            p.drawLine(0, y, w - 1, y);
        }
    }

    const int count = PointCount();
    if (kind_ == Bar) {
        for (int age = 0; age < count; ++age) {
            const Point& point = points_[count - 1 - age];
            const int level = Level(point.value, full, h);
            if (level == 0) {
                continue;
            }
            const QRect bar(w - (age + 1) * step_, h - level, step_, level);
            if (gradient_ == 100) {
                p.fillRect(bar, point.color);
            } else {
                // Spread over the whole height, so that neighbouring bars match in shade.
                QLinearGradient shade(0, 0, 0, h);
                shade.setColorAt(0, point.color);
                shade.setColorAt(1, Mix(backColor_, point.color, gradient_));
                p.fillRect(bar, shade);
            }
        }
        return;
    }

    // Line: each point sits at the right end of its column; a segment takes the colour of its
    // newer point.
    const auto at = [&](int age) {
        const Point& point = points_[count - 1 - age];
        return QPoint(w - 1 - age * step_, h - 1 - Level(point.value, full, h - 1));
    };
    if (count == 1) {
        p.setPen(points_.back().color);
        p.drawPoint(at(0));
    }
    for (int age = 0; age + 1 < count; ++age) {
        p.setPen(points_[count - 1 - age].color);
        p.drawLine(at(age + 1), at(age));
    }
}

}  // namespace rd
