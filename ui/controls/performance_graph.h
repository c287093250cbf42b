// A scrolling history graph: each data point takes a column of StepSize pixels at the right
// edge and pushes the older points to the left, as bars or as a line.
#pragma once

#include <QColor>
#include <QWidget>
#include <deque>

namespace rd {

class TPerformanceGraph : public QWidget {
    Q_OBJECT

public:
    enum Kind { Bar = 0, Line = 1 };

    explicit TPerformanceGraph(QWidget* parent = nullptr);

    // Appends a point drawn in `color`; negative values are drawn as 0. Points that no longer
    // fit the width are dropped.
    void DataPoint(const QColor& color, int value);
    // Redraws with the points added since the last call.
    void Update() { update(); }

    void SetBackColor(const QColor& color);
    QColor BackColor() const { return backColor_; }
    // The trace colour: the colour the owner gives its points, also tinting the grid.
    void SetForeColor(const QColor& color);
    QColor ForeColor() const { return foreColor_; }
    // Pixels per point, at least 1; false leaves the step as it was.
    bool SetStepSize(int step);
    int StepSize() const { return step_; }
    // Bar or Line; false for any other value, leaving the kind as it was.
    bool SetGraphKind(int kind);
    Kind GraphKind() const { return kind_; }
    // Value units between horizontal grid lines, at least 1.
    bool SetGridSize(int size);
    int GridSize() const { return gridSize_; }
    // The smallest value drawn at full height, at least 1.
    bool SetScale(int scale);
    int Scale() const { return scale_; }
    // Share of a bar's colour at the foot of the graph in percent, the rest back colour; the
    // bars fade toward the bottom below 100, and 100 draws them solid.
    bool SetGradient(int percent);
    int Gradient() const { return gradient_; }

    int PointCount() const { return static_cast<int>(points_.size()); }
    // The newest point's value, 0 without points.
    int LastValue() const { return points_.empty() ? 0 : points_.back().value; }
    // How many points the current width holds.
    int Capacity() const;
    // The value drawn at full height now.
    int FullScale() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Point {
        QColor color;
        int value;
    };

    void Trim();
    // Pixels from the bottom for `value` in a graph `height` pixels tall.
    static int Level(qint64 value, int fullScale, int height);

    std::deque<Point> points_;
    QColor backColor_ = Qt::black;
    QColor foreColor_ = QColor(0x00, 0xFF, 0x00);
    int step_ = 1;
    Kind kind_ = Bar;
    int gridSize_ = 1000000;
    int scale_ = 100;
    int gradient_ = 100;
};

}  // namespace rd
