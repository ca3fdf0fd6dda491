// Writes the program's icon, drawn in resources/corvane.xpm, in the forms that
// desktops and Windows want: one PNG per size for the hicolor icon theme, and
// one .ico holding the same sizes for the executable's file icon. Larger sizes
// repeat each pixel of the drawing a whole number of times, never smoothing,
// so the frame and the bands stay sharp.
//
//   corvane-icon-tool <output folder> <icon name>
//     writes <icon name>-<size>.png for each size and <icon name>.ico
#include "corvane.xpm"

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QList>
#include <QSaveFile>
#include <QString>
#include <cstdio>

namespace {

// Whole multiples of the 32-pixel drawing.
constexpr int kScales[] = {1, 2, 4, 8};

QImage Enlarge(const QImage& drawing, int scale) {
    QImage image(drawing.size() * scale, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.setPixel(x, y, drawing.pixel(x / scale, y / scale));
        }
    }
    return image;
}

QByteArray Png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The ICO format by hand: a header, one directory entry per image, then each
// image as PNG data, which Windows reads at every size.
QByteArray Ico(const QList<QImage>& images) {
    QList<QByteArray> pngs;
    for (const QImage& image : images) {
        pngs.append(Png(image));
    }
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(images.size()); // reserved, icon, count
    quint32 offset = 6 + 16 * images.size();
    for (qsizetype i = 0; i < images.size(); ++i) {
        // 0 stands for 256 in the one-byte width and height.
        out << quint8(images[i].width() % 256) << quint8(images[i].height() % 256);
        out << quint8(0) << quint8(0);    // no palette, reserved
        out << quint16(1) << quint16(32); // planes, bits per pixel
        out << quint32(pngs[i].size()) << offset;
        offset += pngs[i].size();
    }
    for (const QByteArray& png : pngs) {
        out.writeRawData(png.constData(), int(png.size()));
    }
    return bytes;
}

bool Write(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        std::fprintf(stderr, "corvane-icon-tool: could not write %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: corvane-icon-tool <output folder> <icon name>\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QString name = QString::fromLocal8Bit(argv[2]);
    if (!folder.mkpath(".")) {
        std::fprintf(stderr, "corvane-icon-tool: could not create %s\n", argv[1]);
        return 1;
    }

    const QImage drawing = QImage(corvane_icon_xpm).convertToFormat(QImage::Format_ARGB32);
    QList<QImage> images;
    for (int scale : kScales) {
        const QImage image = Enlarge(drawing, scale);
        const QString file = QStringLiteral("%1-%2.png").arg(name).arg(image.width());
        if (!Write(folder.filePath(file), Png(image))) {
            return 1;
        }
        images.append(image);
    }
    return Write(folder.filePath(name + ".ico"), Ico(images)) ? 0 : 1;
}
