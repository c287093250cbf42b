// The speed button as the progress window uses it: which state picture of its glyph it shows,
// its frames, and its click.
#include <QEnterEvent>
#include <QSignalSpy>
#include <QtTest>

#include "ui/controls/speed_button.h"

namespace rd {

namespace {

const QColor kStateColors[4] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};

// Four 16x16 quarters, one solid colour per state, with an alpha channel so that no colour
// is taken as transparent.
QPixmap FourStateGlyph() {
    QImage image(64, 16, QImage::Format_ARGB32);
    for (int state = 0; state < 4; ++state) {
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                image.setPixelColor(state * 16 + x, y, kStateColors[state]);
            }
        }
    }
    return QPixmap::fromImage(image, Qt::NoOpaqueDetection);
}

QColor Centre(TSpeedButton& button) {
    return button.grab().toImage().pixelColor(button.width() / 2, button.height() / 2);
}

void Enter(TSpeedButton& button) {
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&button, &enter);
}

void Leave(TSpeedButton& button) {
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&button, &leave);
}

}  // namespace

class SpeedButtonTest : public QObject {
    Q_OBJECT

private slots:
    void FourStatesShowTheirOwnQuarter() {
        TSpeedButton button;
        button.resize(40, 40);
        button.SetGlyph(FourStateGlyph(), 4);
        QCOMPARE(Centre(button), kStateColors[TSpeedButton::Up]);

        Enter(button);
        QCOMPARE(Centre(button), kStateColors[TSpeedButton::Hot]);

        QTest::mousePress(&button, Qt::LeftButton);
        QCOMPARE(Centre(button), kStateColors[TSpeedButton::Exclusive]);
        QTest::mouseRelease(&button, Qt::LeftButton);

        button.setEnabled(false);
        QCOMPARE(Centre(button), kStateColors[TSpeedButton::Disabled]);
        button.setEnabled(true);
        Leave(button);
        QCOMPARE(Centre(button), kStateColors[TSpeedButton::Up]);
    }

    void OnePictureServesEveryStateGreyedWhenDisabled() {
        TSpeedButton button;
        button.resize(40, 40);
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(QColor(200, 30, 30));
        button.SetGlyph(QPixmap::fromImage(image, Qt::NoOpaqueDetection), 1);
        QCOMPARE(Centre(button), QColor(200, 30, 30));
        Enter(button);
        QCOMPARE(Centre(button), QColor(200, 30, 30));

        button.setEnabled(false);
        const QColor greyed = Centre(button);
        QCOMPARE(greyed.red(), greyed.green());
        QCOMPARE(greyed.green(), greyed.blue());
        // Still drawn, not left out.
        TSpeedButton bare;
        bare.resize(40, 40);
        bare.setEnabled(false);
        QVERIFY(greyed != Centre(bare));
    }

    void OpaqueGlyphSeesThroughItsBottomLeftColour() {
        TSpeedButton bare;
        bare.resize(40, 40);
        const QColor background = bare.grab().toImage().pixelColor(14, 14);

        TSpeedButton button;
        button.resize(40, 40);
        QImage image(16, 16, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        for (int y = 6; y < 10; ++y) {
            for (int x = 6; x < 10; ++x) {
                image.setPixelColor(x, y, Qt::blue);
            }
        }
        button.SetGlyph(QPixmap::fromImage(image), 1);
        const QImage shown = button.grab().toImage();
        QCOMPARE(shown.pixelColor(20, 20), QColor(Qt::blue));
        QCOMPARE(shown.pixelColor(14, 14), background);
    }

    void SizeHintTakesOneQuarterBesideTheCaption() {
        TSpeedButton button;
        button.setText("Pause");
        const QSize captionOnly = button.sizeHint();
        button.SetGlyph(FourStateGlyph(), 4);
        const QSize withGlyph = button.sizeHint();
        // One quarter of the strip, beside the caption.
        QCOMPARE(withGlyph.width(), captionOnly.width() + 16 + 4);
        QVERIFY(withGlyph.height() >= 16);

        button.SetGlyph(QPixmap(), 4);
        QCOMPARE(button.sizeHint(), captionOnly);
        QVERIFY(button.Glyph().isNull());
    }

    void ClickEmitsClicked() {
        TSpeedButton button;
        button.resize(25, 25);
        QSignalSpy clicked(&button, &QAbstractButton::clicked);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(button.cursor().shape(), Qt::PointingHandCursor);
        // Space belongs to the window (pause), so the button never takes the focus.
        QCOMPARE(button.focusPolicy(), Qt::NoFocus);
    }

    void FlatShowsAFrameOnlyUnderTheMouse() {
        TSpeedButton button;
        button.resize(25, 25);
        const QColor plain = button.grab().toImage().pixelColor(0, 0);

        Enter(button);
        QVERIFY(button.grab().toImage().pixelColor(0, 0) != plain);
        Leave(button);
        QCOMPARE(button.grab().toImage().pixelColor(0, 0), plain);

        button.SetFlat(false);
        const QImage raised = button.grab().toImage();
        QVERIFY(raised.pixelColor(0, 0) != plain);
        // Raised: light top-left edge, dark bottom-right edge.
        QVERIFY(raised.pixelColor(0, 0).lightness() > raised.pixelColor(24, 24).lightness());
    }
};

}  // namespace rd

QTEST_MAIN(rd::SpeedButtonTest)
#include "speed_button_test.moc"
