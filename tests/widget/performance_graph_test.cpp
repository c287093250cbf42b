// The speed graph: the values it accepts, how many points it keeps, and where they are drawn.
#include <QtTest>

#include "ui/controls/performance_graph.h"

namespace rd {

namespace {

QColor PixelAt(TPerformanceGraph& graph, int x, int y) {
    return graph.grab().toImage().pixelColor(x, y);
}

bool ColumnIs(const QImage& image, int x, const QColor& color) {
    for (int y = 0; y < image.height(); ++y) {
        if (image.pixelColor(x, y) != color) {
            return false;
        }
    }
    return true;
}

}  // namespace

class PerformanceGraphTest : public QObject {
    Q_OBJECT

private slots:
    void RejectedValuesKeepTheOldOnes() {
        TPerformanceGraph graph;
        QCOMPARE(graph.BackColor(), QColor(Qt::black));
        QCOMPARE(graph.ForeColor(), QColor(0x00, 0xFF, 0x00));
        QCOMPARE(graph.StepSize(), 1);
        QCOMPARE(graph.GraphKind(), TPerformanceGraph::Bar);
        QCOMPARE(graph.GridSize(), 1000000);
        QCOMPARE(graph.Scale(), 100);
        QCOMPARE(graph.Gradient(), 100);

        QVERIFY(graph.SetStepSize(3));
        QVERIFY(!graph.SetStepSize(0));
        QVERIFY(!graph.SetStepSize(-2));
        QCOMPARE(graph.StepSize(), 3);

        QVERIFY(graph.SetGraphKind(TPerformanceGraph::Line));
        QVERIFY(!graph.SetGraphKind(5));
        QVERIFY(!graph.SetGraphKind(-1));
        QCOMPARE(graph.GraphKind(), TPerformanceGraph::Line);
        QVERIFY(graph.SetGraphKind(0));
        QCOMPARE(graph.GraphKind(), TPerformanceGraph::Bar);

        QVERIFY(!graph.SetScale(0));
        QVERIFY(!graph.SetGridSize(0));
        QVERIFY(!graph.SetGradient(101));
        QCOMPARE(graph.Scale(), 100);
        QCOMPARE(graph.GridSize(), 1000000);
        QCOMPARE(graph.Gradient(), 100);
    }

    void KeepsOnlyThePointsTheWidthHolds() {
        TPerformanceGraph graph;
        graph.resize(20, 10);
        graph.SetStepSize(3);
        for (int value = 1; value <= 10; ++value) {
            graph.DataPoint(graph.ForeColor(), value);
        }
        // Six whole columns of three pixels and a part of a seventh.
        QCOMPARE(graph.PointCount(), 7);
        QCOMPARE(graph.LastValue(), 10);

        graph.SetStepSize(10);
        QCOMPARE(graph.PointCount(), 2);
        // A hidden widget gets its resize only when shown.
        graph.show();
        graph.resize(5, 10);
        QCOMPARE(graph.PointCount(), 1);
        QCOMPARE(graph.LastValue(), 10);
    }

    void FullScaleFollowsTheLargestVisiblePoint() {
        TPerformanceGraph graph;
        graph.resize(4, 10);
        graph.DataPoint(graph.ForeColor(), 50);
        QCOMPARE(graph.FullScale(), 100);
        graph.DataPoint(graph.ForeColor(), 400);
        QCOMPARE(graph.FullScale(), 400);
        for (int i = 0; i < 4; ++i) {
            graph.DataPoint(graph.ForeColor(), 10);
        }
        QCOMPARE(graph.FullScale(), 100);
    }

    void OneFullBarFillsOnlyTheRightColumn() {
        TPerformanceGraph graph;
        graph.resize(10, 8);
        graph.DataPoint(graph.ForeColor(), 100);
        graph.Update();
        const QImage image = graph.grab().toImage();
        QVERIFY(ColumnIs(image, 9, graph.ForeColor()));
        for (int x = 0; x < 9; ++x) {
            QVERIFY2(ColumnIs(image, x, graph.BackColor()), qPrintable(QString::number(x)));
        }
    }

    void PointsMoveLeftByTheStepInTheirOwnColour() {
        TPerformanceGraph graph;
        graph.resize(20, 8);
        graph.SetStepSize(2);
        graph.DataPoint(Qt::red, 100);
        for (int i = 0; i < 3; ++i) {
            graph.DataPoint(graph.ForeColor(), 0);
        }
        const QImage image = graph.grab().toImage();
        QVERIFY(ColumnIs(image, 12, Qt::red));
        QVERIFY(ColumnIs(image, 13, Qt::red));
        QVERIFY(ColumnIs(image, 11, graph.BackColor()));
        QVERIFY(ColumnIs(image, 14, graph.BackColor()));
        QVERIFY(ColumnIs(image, 19, graph.BackColor()));
    }

    void BarsFillBelowTheValueALineDoesNot() {
        TPerformanceGraph graph;
        graph.resize(10, 11);
        graph.DataPoint(graph.ForeColor(), 50);
        graph.DataPoint(graph.ForeColor(), 50);
        QCOMPARE(PixelAt(graph, 9, 10), graph.ForeColor());
        QCOMPARE(PixelAt(graph, 9, 0), graph.BackColor());

        graph.SetGraphKind(TPerformanceGraph::Line);
        const QImage line = graph.grab().toImage();
        QCOMPARE(line.pixelColor(9, 5), graph.ForeColor());
        QCOMPARE(line.pixelColor(8, 5), graph.ForeColor());
        QCOMPARE(line.pixelColor(9, 10), graph.BackColor());
        QCOMPARE(line.pixelColor(9, 4), graph.BackColor());
    }

    void GridLinesMarkGridSizeStepsWhenTheyAreApart() {
        TPerformanceGraph graph;
        graph.resize(10, 20);
        QVERIFY(graph.SetGridSize(25));
        const QImage grid = graph.grab().toImage();
        for (const int y : {0, 5, 10, 15}) {
            QVERIFY(grid.pixelColor(0, y) != graph.BackColor());
            QVERIFY(grid.pixelColor(0, y) != graph.ForeColor());
        }
        QCOMPARE(grid.pixelColor(0, 14), graph.BackColor());
        QCOMPARE(grid.pixelColor(0, 19), graph.BackColor());

        // One line per pixel would paint the graph over.
        graph.SetGridSize(1);
        const QImage dense = graph.grab().toImage();
        QVERIFY(ColumnIs(dense, 0, graph.BackColor()));
    }

    void GradientFadesTheFootOfABar() {
        TPerformanceGraph graph;
        graph.resize(4, 40);
        QVERIFY(graph.SetGradient(0));
        graph.DataPoint(graph.ForeColor(), 100);
        const QImage image = graph.grab().toImage();
        QVERIFY(image.pixelColor(3, 0).green() > 230);
        QVERIFY(image.pixelColor(3, 39).green() < 30);
    }
};

}  // namespace rd

QTEST_MAIN(rd::PerformanceGraphTest)
#include "performance_graph_test.moc"
