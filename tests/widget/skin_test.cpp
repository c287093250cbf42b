// Skins: the shipped ones load whole, broken ones fall back to the built-in look with one list
// of problems, outlines cut the key colour, the bars grow by their modes, the queue window
// takes its frame without showing its key colour, and a stored size never cuts a skin's window.
#include <QLabel>
#include <QPainter>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "look/skin_pictures.h"
#include "test_support.h"
#include "ui/chooser/chooser_images.h"
#include "ui/controls/speed_button.h"
#include "ui/progress/queue_frame.h"
#include "ui/progress/queue_window.h"
#include "ui/progress/redodori_wnd.h"

namespace rd {

namespace {

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A 24-bit BMP header for `width` x `height` pixels with no pixel data behind it.
std::string BmpHeader(uint32_t width, uint32_t height) {
    std::string h(54, '\0');
    auto put = [&h](size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            h[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    h[0] = 'B';
    h[1] = 'M';
    put(2, 54, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, width, 4);
    put(22, height, 4);
    put(26, 1, 2);
    put(28, 24, 2);
    return h;
}

// An 8-bit RLE BMP of `width` x `height` pixels whose pixel data is its end mark alone: a real
// picture, as large as its header says, in 64 bytes.
std::string RleBmp(uint32_t width, uint32_t height) {
    std::string bmp = BmpHeader(width, height);
    bmp[10] = 54 + 8;  // after two palette entries
    bmp[28] = 8;
    bmp[30] = 1;
    bmp[46] = 2;  // colours in the palette
    bmp += std::string("\x20\x40\x60\0\xFF\xFF\xFF\0", 8) + std::string("\0\1", 2);
    bmp[2] = static_cast<char>(bmp.size());
    return bmp;
}

// A 24-bit BMP of `width` x 1 grey pixels.
std::string WideBmp(uint32_t width) {
    const uint32_t row = (width * 3 + 3) / 4 * 4;
    return BmpHeader(width, 1) + std::string(row, '\x80');
}

bool SameRegion(const QRegion& a, const QRegion& b) {
    return a.xored(b).isEmpty();
}

QImage Filled(int width, int height, QColor color) {
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(color);
    return picture;
}

}  // namespace

class SkinTest : public QObject {
    Q_OBJECT

private:
    test::PrivateEnvironment env_;
    test::TempDir install_;

    std::string SkinFolder(const std::string& name) { return install_ / ("skins/" + name); }

private slots:
    void ShippedSkinsAreWhole() {
        for (const char* name : {"Default", "Midnight"}) {
            const SkinPictures skin = LoadSkin(install_.Path(), name);
            QVERIFY2(skin.problems.isEmpty(), qPrintable(skin.problems.join("; ")));
            for (int n = 1; n <= 32; ++n)
                QCOMPARE(skin.tray[n].size(), QSize(16, 16));
            for (const QImage& picture : skin.listEntries)
                QCOMPARE(picture.size(), QSize(16, 16));
            for (const QImage& glyph : skin.glyphs)
                QVERIFY(!glyph.isNull());
            QVERIFY(!skin.progback.isNull() && !skin.progfore.isNull() && !skin.main.isNull());
            if (skin.description.queue.skinned) {
                for (const QImage& piece : skin.queueFrame)
                    QVERIFY(!piece.isNull());
                QVERIFY(!skin.queueTexture.isEmpty());
            }
            // Every folder ships the queue frame, so that a user's skin can start from either.
            for (const char* file : {"queue_leftup.bmp", "queue_down.bmp", "queue_texture.jpg"})
                QVERIFY(std::filesystem::exists(skin.folder.toStdString() + "/" + file));
        }
        const SkinPictures defaults = LoadSkin(install_.Path(), "Default");
        QCOMPARE(defaults.main.size(), QSize(297, 137));
        QCOMPARE(defaults.progback.size(), QSize(209, 13));
        QCOMPARE(defaults.glyphs[0].size(), QSize(21, 21));
        QCOMPARE(defaults.description.blend, 0);
        QVERIFY(!defaults.description.queue.skinned);

        const SkinPictures midnight = LoadSkin(install_.Path(), "Midnight");
        const SkinDescription& d = midnight.description;
        QCOMPARE(midnight.main.size(), QSize(320, 150));
        QCOMPARE(midnight.progback.size(), QSize(12, 104));
        QCOMPARE(midnight.glyphs[0].size(), QSize(88, 22));  // four states side by side
        QVERIFY(d.buttonStates);
        QCOMPARE(d.blend, 24);
        QCOMPARE(d.bars[0].mode, 3);
        QCOMPARE(d.bars[1].mode, 2);
        QVERIFY(d.graph.visible);
        QCOMPARE(d.graph.style, 1);
        QVERIFY(d.queue.skinned);
        QCOMPARE(d.queue.scrollBarSize, 8);
        // The outline is shaped: the cut corners are outside it.
        const QRegion outline = OutlineFromPicture(midnight.main);
        QVERIFY(!outline.contains(QPoint(0, 0)) && !outline.contains(QPoint(319, 149)));
        QVERIFY(outline.contains(QPoint(160, 75)) && outline.contains(QPoint(160, 2)));
    }

    void BrokenSkinsFallBack() {
        const struct {
            const char* name;
            const char* file;  // written with `bytes` beside an empty skin.ini, unless it is that
            std::string bytes;
            const char* problem;
        } cases[] = {
            {"NoIni", nullptr, "", "skin.ini cannot be read"},
            {"Broken", "main.bmp", "BM this is not a picture", "main.bmp: its information header"},
            {"Wide", "main.bmp", WideBmp(kMaxSkinPictureSide + 1),
             "main.bmp: larger than 4096 pixels on a side (4097x1)"},
            {"Forged", "main.bmp", BmpHeader(60000, 60000),
             "main.bmp: the header claims 60000x60000 pixels of 24 bits, more than the 0 bytes"},
            {"Empty", "progback.bmp", BmpHeader(0, 0),
             "progback.bmp: the header claims 0x0 pixels"},
            {"Values", "skin.ini", "[Main]\nBlend=300\n[Label5]\nWidth=99999\n[Image1]\nTop=x\n",
             "Blend=300"},
        };
        for (const auto& c : cases) {
            std::filesystem::create_directories(SkinFolder(c.name));
            if (c.file)
                WriteBytes(SkinFolder(c.name) + "/" + c.file, c.bytes);
            if (c.file && std::string(c.file) != "skin.ini")
                WriteBytes(SkinFolder(c.name) + "/skin.ini", "[Main]\n");
            const SkinPictures skin = LoadSkin(install_.Path(), c.name);
            QVERIFY2(skin.problems.join("; ").contains(c.problem),
                     qPrintable(QString(c.name) + ": " + skin.problems.join("; ")));
            QVERIFY(skin.main.isNull() && skin.progback.isNull());
            TRedoDoriWnd window;
            window.ApplySkin(skin);
            QCOMPARE(window.size(), QSize(297, 137));  // the built-in background stays
            QCOMPARE(window.findChild<QLabel*>("Label5")->x(), 56);
        }
        const SkinPictures values = LoadSkin(install_.Path(), "Values");
        QCOMPARE(values.description.blend, 255);
        QCOMPARE(values.problems.size(), 3);
        const SkinPictures missing = LoadSkin(install_.Path(), "Nowhere");
        QCOMPARE(missing.problems, QStringList{"the skin is not installed"});
    }

    // Nine real pictures of 4096x4096 pixels in a few bytes each, a forged header and a small
    // compressed picture.
    void MakeHugeSkin(const std::string& name) {
        const std::string folder = SkinFolder(name);
        WriteBytes(folder + "/skin.ini", "[Main]\n");
        for (int n = 1; n <= 9; ++n)
            WriteBytes(folder + "/" + std::to_string(n) + ".bmp", RleBmp(4096, 4096));
        WriteBytes(folder + "/10.bmp", RleBmp(64, 64));
        WriteBytes(folder + "/main.bmp", BmpHeader(4000, 4000));
    }

    void RefusalsShareALine() {
        MakeHugeSkin("Huge");
        const SkinPictures skin = LoadSkin(install_.Path(), "Huge");
        const QStringList expected{
            "1.bmp, 2.bmp, 3.bmp, 4.bmp, 5.bmp, 6.bmp and 3 more: 4096x4096 pixels would take the "
            "skin's pictures past 2097152 pixels together",
            "main.bmp: the header claims 4000x4000 pixels of 24 bits, more than the 0 bytes of "
            "pixel data in the file can hold"};
        QCOMPARE(skin.problems.join("\n"), expected.join("\n"));
        for (int n = 1; n <= 9; ++n)
            QVERIFY(skin.tray[n].isNull());
        QCOMPARE(skin.tray[10].size(), QSize(64, 64));  // compressed, and within the budget
        QVERIFY(skin.main.isNull());
    }

    void PicturesShareOneBudget() {
        // The first pictures take the budget; a later one that would pass it is refused before
        // it is decoded, and the window keeps its built-in background.
        const std::string folder = SkinFolder("Spendthrift");
        WriteBytes(folder + "/skin.ini", "[Main]\n");
        QImage large(1448, 1448, QImage::Format_Indexed8);
        large.setColorTable({qRgb(0, 0, 255)});
        large.fill(0);
        QVERIFY(large.save(QString::fromStdString(folder + "/progback.bmp")));
        QVERIFY(Filled(100, 100, Qt::white).save(QString::fromStdString(folder + "/main.bmp")));
        const SkinPictures skin = LoadSkin(install_.Path(), "Spendthrift");
        QCOMPARE(skin.progback.size(), QSize(1448, 1448));
        QVERIFY(skin.main.isNull());
        QCOMPARE(skin.problems, QStringList{"main.bmp: 100x100 pixels would take the skin's "
                                            "pictures past 2097152 pixels together"});
        TRedoDoriWnd window;
        window.ApplySkin(skin);
        QCOMPARE(window.size(), QSize(297, 137));
    }

    void ChecksOnlyDecodeNothing() {
        const SkinPictures midnight = LoadSkin(install_.Path(), "Midnight", SkinRead::kChecksOnly);
        QVERIFY2(midnight.problems.isEmpty(), qPrintable(midnight.problems.join("; ")));
        QCOMPARE(midnight.description.blend, 24);
        QVERIFY(midnight.main.isNull() && midnight.progback.isNull() && midnight.tray[1].isNull());
        QVERIFY(midnight.glyphs[0].isNull() && midnight.queueFrame[0].isNull());
        QVERIFY(midnight.queueTexture.isEmpty());
        // The checks find what reading the pictures finds.
        MakeHugeSkin("HugeChecked");
        const SkinPictures checked =
            LoadSkin(install_.Path(), "HugeChecked", SkinRead::kChecksOnly);
        QCOMPARE(checked.problems.size(), 2);
        QCOMPARE(checked.problems, LoadSkin(install_.Path(), "HugeChecked").problems);
        QVERIFY(checked.tray[10].isNull());
    }

    void SkinWaitsUntilTheWindowShows() {
        int reads = 0;
        const auto read = [&](const char* name) {
            return [&reads, this, name] {
                ++reads;
                return LoadSkin(install_.Path(), name);
            };
        };
        TRedoDoriWnd window;
        QVERIFY(!window.UseSkin(read("Default")));
        QVERIFY(!window.UseSkin(read("Midnight")));  // the later skin replaces the waiting one
        QCOMPARE(reads, 0);
        QCOMPARE(window.size(), QSize(297, 137));
        window.show();
        QCOMPARE(reads, 1);
        QCOMPARE(window.size(), QSize(320, 150));
        // Once shown, hidden or not, a new skin is read at once.
        window.hide();
        QVERIFY(window.UseSkin(read("Default")));
        QCOMPARE(reads, 2);
        QCOMPARE(window.size(), QSize(297, 137));
        window.show();
        QCOMPARE(reads, 2);

        // A window brought up from the tray reads its skin first.
        TRedoDoriWnd restored;
        QVERIFY(!restored.UseSkin(read("Midnight")));
        restored.Restore();
        QCOMPARE(reads, 3);
        QCOMPARE(restored.size(), QSize(320, 150));
    }

    void OutlinesCutTheKeyColour() {
        // Bottom-left pure red: exactly the red pixels go.
        QImage picture = Filled(10, 4, Qt::white);
        picture.setPixelColor(0, 3, Qt::red);
        picture.setPixelColor(9, 0, Qt::red);
        QRegion expected(0, 0, 10, 4);
        expected -= QRegion(0, 3, 1, 1);
        expected -= QRegion(9, 0, 1, 1);
        QVERIFY(SameRegion(OutlineFromPicture(picture), expected));

        // No pixel of the key: the whole rectangle.
        QVERIFY(SameRegion(OutlineFromPicture(Filled(7, 5, Qt::blue), QColor(Qt::red)),
                           QRegion(0, 0, 7, 5)));

        // A key-coloured column in every row splits the outline in two.
        QImage split = Filled(9, 6, Qt::green);
        for (int y = 0; y < 6; ++y)
            split.setPixelColor(4, y, Qt::magenta);
        const QRegion halves = OutlineFromPicture(split, QColor(Qt::magenta));
        QVERIFY(SameRegion(halves, QRegion(0, 0, 4, 6) + QRegion(5, 0, 4, 6)));
        QCOMPARE(halves.boundingRect(), QRect(0, 0, 9, 6));
        QVERIFY(!halves.contains(QPoint(4, 3)));
    }

    void BarsGrowByTheirModes() {
        const SkinPictures midnight = LoadSkin(install_.Path(), "Midnight");
        const SkinPictures defaults = LoadSkin(install_.Path(), "Default");
        TRedoDoriWnd window;
        auto* total = window.findChild<QLabel*>("Image1");
        auto* current = window.findChild<QLabel*>("Image2");
        const struct {
            uint64_t done;
            uint32_t percent;
            QRect defaultTotal, midnightTotal, midnightCurrent;
        } cases[] = {
            {0, 0, {16, 8, 0, 13}, {14, 124, 12, 0}, {32, 20, 12, 0}},
            {500, 50, {16, 8, 104, 13}, {14, 72, 12, 52}, {32, 20, 12, 52}},
            {1000, 100, {16, 8, 209, 13}, {14, 20, 12, 104}, {32, 20, 12, 104}},
        };
        for (const auto& c : cases) {
            window.ApplySkin(defaults);
            window.SetBarFractions(c.done, 1000, c.percent);
            QCOMPARE(total->geometry(), c.defaultTotal);
            QCOMPARE(current->geometry(), c.defaultTotal.translated(0, 16));
            window.ApplySkin(midnight);
            window.SetBarFractions(c.done, 1000, c.percent);
            QCOMPARE(total->geometry(), c.midnightTotal);      // mode 3: up from a fixed bottom
            QCOMPARE(current->geometry(), c.midnightCurrent);  // mode 2: down from the top
        }
        // Nothing listed: the total bar keeps its extent.
        window.SetBarFractions(0, 0, 0);
        QCOMPARE(total->geometry(), QRect(14, 20, 12, 104));
        QCOMPARE(window.size(), QSize(320, 150));
        QVERIFY(!window.mask().contains(QPoint(0, 0)));
        QVERIFY(window.findChild<QWidget*>("PerformanceGraph1")->isVisibleTo(&window));
    }

    void GlyphsAndTheirFallbacks() {
        // Midnight's glyphs hold four states; a skin without glyph files takes the chooser's
        // entries, and an Image flag of 0 leaves the button bare even though its file exists.
        TRedoDoriWnd window;
        auto* skip = window.findChild<TSpeedButton*>("SpeedButton4");
        auto* abort = window.findChild<TSpeedButton*>("SpeedButton2");
        window.ApplySkin(LoadSkin(install_.Path(), "Midnight"));
        QCOMPARE(skip->GlyphStates(), 4);
        QCOMPARE(skip->Glyph().size(), QSize(88, 22));
        QVERIFY(ChooserImageFromSkin(8) && ChooserImageFromSkin(6));

        const std::string entries = SkinFolder("Entries");
        WriteBytes(entries + "/skin.ini", "[SpeedButton4]\nImage=0\n");
        QImage entry = Filled(16, 16, Qt::blue);
        entry.setPixelColor(15, 15, Qt::white);  // the transparent colour
        QVERIFY(entry.save(QString::fromStdString(entries + "/abort.bmp")));
        QVERIFY(entry.save(QString::fromStdString(entries + "/skip_btn.bmp")));
        window.ApplySkin(LoadSkin(install_.Path(), "Entries"));
        QVERIFY(skip->Glyph().isNull());
        QCOMPARE(abort->GlyphStates(), 1);
        QCOMPARE(abort->Glyph().toImage().pixelColor(5, 5), QColor(Qt::blue));
    }

    void QueueFrameTilesAndSteps() {
        const struct {
            int extent, step;
            std::vector<int> offsets;
        } tiles[] = {
            {100, 30, {0, 30, 60, 90}},
            {90, 30, {0, 30, 60}},
            {1, 16, {0}},
            {50, 0, {}},
        };
        for (const auto& t : tiles)
            QCOMPARE(QueueFrame::TileOffsets(t.extent, t.step), t.offsets);
        QCOMPARE(QueueFrame::SteppedExtent(160, 175, 16), 160);  // less than a tile wider
        QCOMPARE(QueueFrame::SteppedExtent(160, 180, 16), 176);
        QCOMPARE(QueueFrame::SteppedExtent(160, 20, 1), 160);  // never 20 or less
        QCOMPARE(QueueFrame::SteppedExtent(160, 21, 1), 21);

        TRedoDoriQueue queue;
        TRedoDoriWnd window;
        TRedoDoriWnd::Windows windows;
        windows.queue = &queue;
        window.SetWindows(windows);
        window.ApplySkin(LoadSkin(install_.Path(), "Midnight"));
        QVERIFY(queue.Skinned());
        QCOMPARE(queue.size(), QSize(320, 150));
        QCOMPARE(queue.pos(), window.pos() + QPoint(0, 150));
        QVERIFY(queue.windowFlags() & Qt::FramelessWindowHint);
        queue.show();
        const QRect list = queue.View()->geometry();
        QCOMPARE(list, QRect(6, 14, 320 - 12, 150 - 14 - 6));
        const QRegion outline = queue.mask();
        QVERIFY(outline.contains(list.center()) && outline.contains(QPoint(100, 2)));
        QVERIFY(!outline.contains(QPoint(0, 0)) && !outline.contains(QPoint(319, 149)));

        window.ApplySkin(LoadSkin(install_.Path(), "Default"));
        QVERIFY(!queue.Skinned());
        QVERIFY(queue.mask().isEmpty());
        QCOMPARE(queue.View()->geometry(), queue.rect());
    }

    // The skinned queue frame, as the window is drawn: no key-coloured pixel in its corners, and
    // its right and bottom edges painted by the frame, not left in the window's plain colour.
    void QueueFrameShowsNoKeyColour() {
        const SkinPictures midnight = LoadSkin(install_.Path(), "Midnight");
        const QImage& corner = midnight.queueFrame[2];
        QVERIFY(!corner.isNull());
        const QColor key = corner.pixelColor(BottomLeft(corner));
        TRedoDoriQueue queue;
        queue.ApplySkin(midnight);
        queue.resize(320, 120);
        queue.show();
        QApplication::processEvents();
        const QImage shot = queue.grab().toImage();
        const QColor plain = queue.palette().color(QPalette::Window);
        const int w = shot.width(), h = shot.height();
        const int band = 24;
        QStringList wrong;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool edge = x >= w - band || y >= h - band || (x < band && y < band);
                if (!edge)
                    continue;
                const QColor pixel = shot.pixelColor(x, y);
                if (pixel.rgb() == key.rgb())
                    wrong << QStringLiteral("key colour at %1,%2").arg(x).arg(y);
                else if (queue.mask().contains(QPoint(x, y)) && pixel.rgb() == plain.rgb() &&
                         (x == w - 1 || y == h - 1))
                    wrong << QStringLiteral("unpainted at %1,%2").arg(x).arg(y);
            }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.mid(0, 8).join("; ")));
    }

    // A size stored under a smaller skin never cuts the current skin's window; the skin's own
    // size is the least it takes, and a larger stored size stays.
    void StoredSizeNeverCutsTheSkin() {
        TRedoDoriWnd window;
        window.ApplySkin(LoadSkin(install_.Path(), "Midnight"));
        window.resize(297, 137);
        QCOMPARE(window.size(), QSize(320, 150));
        window.resize(330, 160);
        QCOMPARE(window.size(), QSize(330, 160));
        window.ApplySkin(LoadSkin(install_.Path(), "Default"));
        QCOMPARE(window.size(), QSize(297, 137));
        window.resize(200, 100);
        QCOMPARE(window.size(), QSize(297, 137));
    }
};

}  // namespace rd

QTEST_MAIN(rd::SkinTest)
#include "skin_test.moc"
