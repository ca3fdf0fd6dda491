// The icon files made at build time: every size repeats the drawing's pixels
// exactly, without smoothing, and the Windows .ico holds the same images.
#include "corvane.xpm"

#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QString>
#include <gtest/gtest.h>

namespace {

constexpr int kSizes[] = {CORVANE_ICON_SIZES};
const QString kIconBase = CORVANE_ICON_BASE;

QImage Drawing() {
    return QImage(corvane_icon_xpm).convertToFormat(QImage::Format_ARGB32);
}

// Fully transparent pixels are alike whatever colour they carry.
bool SamePixel(QRgb a, QRgb b) {
    return a == b || (qAlpha(a) == 0 && qAlpha(b) == 0);
}

// Each pixel of `image` is the drawing's pixel under it, enlarged by a whole factor.
void ExpectEnlargedDrawing(const QImage& image, int size) {
    const QImage drawing = Drawing();
    ASSERT_EQ(image.size(), QSize(size, size));
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    const int scale = size / drawing.width();
    int wrong = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            wrong += SamePixel(pixels.pixel(x, y), drawing.pixel(x / scale, y / scale)) ? 0 : 1;
        }
    }
    EXPECT_EQ(wrong, 0) << "pixels that differ from the drawing at " << size;
}

TEST(IconFiles, EachPngRepeatsTheDrawingsPixels) {
    for (int size : kSizes) {
        SCOPED_TRACE(size);
        const QString path = QStringLiteral("%1-%2.png").arg(kIconBase).arg(size);
        QImage image;
        ASSERT_TRUE(image.load(path, "PNG")) << path.toStdString();
        ExpectEnlargedDrawing(image, size);
    }
    // The sharp edge between two bands, and the frame, at the largest size.
    QImage largest(QStringLiteral("%1-256.png").arg(kIconBase));
    EXPECT_EQ(largest.pixel(128, 13 * 8 - 1), qRgb(255, 0, 0));
    EXPECT_EQ(largest.pixel(128, 13 * 8), qRgb(255, 255, 255));
    EXPECT_EQ(largest.pixel(7, 100), qRgb(0, 0, 0));
    EXPECT_EQ(largest.pixel(8, 100), qRgb(255, 0, 0));
}

TEST(IconFiles, TheIcoHoldsTheSameImages) {
    QImageReader reader(kIconBase + ".ico", "ico");
    ASSERT_TRUE(reader.canRead()) << reader.errorString().toStdString();
    ASSERT_EQ(reader.imageCount(), int(std::size(kSizes)));
    for (int i = 0; i < reader.imageCount(); ++i) {
        ASSERT_TRUE(reader.jumpToImage(i));
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << i << ": " << reader.errorString().toStdString();
        SCOPED_TRACE(image.width());
        ExpectEnlargedDrawing(image, kSizes[i]);
    }
}

} // namespace

int main(int argc, char** argv) {
    // The image format plugins (.ico) are found through the application; no
    // display is needed.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
