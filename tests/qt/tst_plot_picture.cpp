// Tests of Picture2, the plot: world coordinates, clipping, points, clearing, presses, repaints.
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <limits>

#include "support/qt_test_support.hpp"
#include "windows/qt/plot_picture.hpp"

using quobel::plot::PaletteColour;
using quobel::windows::qt::PlotPicture;
using quobel::windows::qt::testing::PaintCounter;
using quobel::windows::qt::testing::palette_colour;
using quobel::windows::qt::testing::pixel_at;

namespace {

constexpr int side = 497;

int count_pixels(const QImage& image, const QColor& colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            n += image.pixelColor(x, y) == colour ? 1 : 0;
        }
    }
    return n;
}

}  // namespace

class TestPlotPicture : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        plot_ = std::make_unique<PlotPicture>(QSize(side, side), nullptr);
        plot_->set_world_window(-0.005, 1.005, 1.005, -0.005);
    }
    void cleanup() { plot_.reset(); }

    void unitSquareLiesTwoPixelsIn() {
        QCOMPARE(pixel_at(*plot_, 0, 0), QPoint(2, 494));
        QCOMPARE(pixel_at(*plot_, 1, 1), QPoint(494, 2));
        const QImage& image = plot_->image();
        QCOMPARE(image.size(), QSize(side, side));
        QCOMPARE(count_pixels(image, Qt::black), side * side);
    }

    void linesAreOnePixelInThePaletteColour() {
        plot_->draw_line(0, 0, 1, 1, PaletteColour::light_grey);
        const QImage& image = plot_->image();
        const QColor grey = palette_colour(PaletteColour::light_grey);
        // One pixel per column from (2, 494) to (494, 2), no blended neighbours.
        QCOMPARE(count_pixels(image, grey), 493);
        QCOMPARE(count_pixels(image, Qt::black), side * side - 493);
        QCOMPARE(image.pixelColor(2, 494), grey);
        QCOMPARE(image.pixelColor(494, 2), grey);
        QCOMPARE(image.pixelColor(248, 248), grey);
        // Upright and level lines too have both ends.
        plot_->clear();
        plot_->draw_line(0.5f, 0.2f, 0.5f, 0.8f, PaletteColour::light_magenta);
        plot_->draw_line(0.8f, 0.1f, 0.2f, 0.1f, PaletteColour::light_magenta);
        const QPoint top = pixel_at(*plot_, 0.5, 0.8), bottom = pixel_at(*plot_, 0.5, 0.2);
        const QPoint left = pixel_at(*plot_, 0.2, 0.1), right = pixel_at(*plot_, 0.8, 0.1);
        const QColor magenta = palette_colour(PaletteColour::light_magenta);
        QCOMPARE(count_pixels(plot_->image(), magenta),
                 (bottom.y() - top.y() + 1) + (right.x() - left.x() + 1));
        QCOMPARE(plot_->image().pixelColor(top), magenta);
        QCOMPARE(plot_->image().pixelColor(bottom), magenta);
        QCOMPARE(plot_->image().pixelColor(left), magenta);
        QCOMPARE(plot_->image().pixelColor(right), magenta);
    }

    void hugeAndUndrawableLinesAreClipped() {
        const float huge = std::numeric_limits<float>::max();
        plot_->draw_line(-huge, 0.5f, huge, 0.5f, PaletteColour::light_yellow);
        plot_->draw_line(0.25f, 1e30f, 0.25f, -1e30f, PaletteColour::light_cyan);
        // Wholly outside, or without a position: nothing is drawn and nothing breaks.
        plot_->draw_line(2, 2, 3, 5, PaletteColour::white);
        plot_->draw_line(-1e30f, -1e30f, -2e30f, 5, PaletteColour::white);
        plot_->draw_line(std::nanf(""), 0, 1, 1, PaletteColour::white);
        plot_->draw_line(0, 0, std::numeric_limits<float>::infinity(), 1, PaletteColour::white);
        plot_->draw_point(-0.5f, 0.5f, PaletteColour::white);
        const QImage& image = plot_->image();
        const int row = pixel_at(*plot_, 0, 0.5).y();
        const int column = pixel_at(*plot_, 0.25, 0).x();
        for (int x = 0; x < side; ++x) {
            const QColor expected = palette_colour(x == column ? PaletteColour::light_cyan
                                                               : PaletteColour::light_yellow);
            QCOMPARE(image.pixelColor(x, row), expected);
        }
        for (int y = 0; y < side; ++y) {
            QCOMPARE(image.pixelColor(column, y), palette_colour(PaletteColour::light_cyan));
        }
        QCOMPARE(count_pixels(image, palette_colour(PaletteColour::white)), 0);
    }

    void pointSetsOnePixelAndClearErasesAll() {
        plot_->draw_point(0.5f, 0.5f, PaletteColour::light_magenta);
        QCOMPARE(count_pixels(plot_->image(), palette_colour(PaletteColour::light_magenta)), 1);
        QCOMPARE(quobel::windows::qt::testing::colour_at(*plot_, 0.5, 0.5),
                 palette_colour(PaletteColour::light_magenta));
        plot_->draw_line(0, 0, 1, 0, PaletteColour::light_green);
        plot_->clear();
        QCOMPARE(count_pixels(plot_->image(), Qt::black), side * side);
    }

    void pressGivesTheWorldPointOfThePixel() {
        QSignalSpy pressed(plot_.get(), &PlotPicture::pressed);
        QTest::mouseClick(plot_.get(), Qt::RightButton, Qt::NoModifier, QPoint(2, 494));
        QTest::mousePress(plot_.get(), Qt::LeftButton, Qt::NoModifier, QPoint(248, 10));
        QCOMPARE(pressed.count(), 2);
        const double pixel = 1.01 / side;
        QVERIFY(std::abs(pressed[0][0].toDouble() - 0.0) < pixel);
        QVERIFY(std::abs(pressed[0][1].toDouble() - 0.0) < pixel);
        QVERIFY(std::abs(pressed[1][0].toDouble() - 0.5) < pixel);
        // The point drawn at the pressed place lands on the pressed pixel.
        plot_->draw_point(static_cast<float>(pressed[1][0].toDouble()),
                          static_cast<float>(pressed[1][1].toDouble()), PaletteColour::white);
        QCOMPARE(plot_->image().pixelColor(248, 10), palette_colour(PaletteColour::white));
    }

    void aBurstOfDrawingRepaintsOnce() {
        plot_->show();
        QVERIFY(QTest::qWaitForWindowExposed(plot_.get()));
        QCoreApplication::processEvents();
        PaintCounter counter;
        plot_->installEventFilter(&counter);
        for (int i = 0; i < 5000; ++i) {
            const float x = static_cast<float>(i % 100) / 100;
            plot_->draw_line(x, 0, x, 1, PaletteColour::light_magenta);
            plot_->draw_line(0, x, 1, x, PaletteColour::light_magenta);
        }
        QCOMPARE(counter.paints, 0L);
        QTRY_COMPARE(counter.paints, 1L);
        QCoreApplication::processEvents();
        QCOMPARE(counter.paints, 1L);
        plot_->removeEventFilter(&counter);
    }

  private:
    std::unique_ptr<PlotPicture> plot_;
};

QTEST_MAIN(TestPlotPicture)
#include "tst_plot_picture.moc"
