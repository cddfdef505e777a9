// Draws Fogbell's pictures: the ten button bitmaps (129 to 138), the window icons (128, 145),
// the desktop icon, the Windows program icon fogbell.ico and the banner picture pic.jpg, and
// writes a Qt resource list for them.
//
//   fogbell_draw_art OUTDIR
//
// Bitmaps are painted on their colour key (light grey, black for the About bitmap, a red of 15
// for the open-container bitmap) without antialiasing at their outline, so that the key colour
// appears only where the button should show through. Everything is drawn with shapes; no text,
// so the tool needs no font and no display.
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QString>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr const char* kUsage =
    "Usage: fogbell_draw_art OUTDIR\n"
    "Draws the button bitmaps, the icons and the banner into OUTDIR (made if missing), with a\n"
    "Qt resource list for them.\n";

constexpr int kBitmapSize = 20;
const QColor kGreyKey(192, 192, 192);
const QColor kBlackKey(0, 0, 0);
const QColor kRed15Key(15, 0, 0);

// Palette of the tool: slate outlines, a fog blue, a bell brass, signal green and red.
const QColor kOutline(38, 50, 66);
const QColor kFog(96, 142, 186);
const QColor kFogLight(170, 204, 232);
const QColor kBrass(222, 170, 54);
const QColor kBrassLight(248, 214, 120);
const QColor kGreen(40, 158, 72);
const QColor kGreenLight(120, 214, 132);
const QColor kRed(196, 44, 40);
const QColor kPaper(246, 244, 236);

struct Bitmap {
    int id;
    QColor key;
    std::function<void(QPainter&)> draw;
};

QImage blank(int w, int h, const QColor& fill) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

void folder(QPainter& p, const QColor& body, const QColor& light) {
    p.setPen(kOutline);
    p.setBrush(body);
    p.drawPolygon(QPolygon({{1, 4}, {7, 4}, {9, 6}, {18, 6}, {18, 17}, {1, 17}}));
    p.setBrush(light);
    p.drawPolygon(QPolygon({{1, 17}, {4, 9}, {19, 9}, {17, 17}}));
}

void chevron(QPainter& p, bool up) {
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 2; ++row) {
        p.setBrush(row == 0 ? kFog : kOutline);
        const int y = up ? 5 + row * 6 : 14 - row * 6;
        const int dy = up ? 4 : -4;
        p.drawPolygon(QPolygon({{3, y + dy},
                                {10, y},
                                {17, y + dy},
                                {17, y + dy + (up ? 3 : -3)},
                                {10, y + (up ? 3 : -3)},
                                {3, y + dy + (up ? 3 : -3)}}));
    }
}

std::vector<Bitmap> bitmaps() {
    return {
        // 129: About: an "i" on a fog-blue disc; the black key surrounds the disc.
        {129, kBlackKey,
         [](QPainter& p) {
             p.setPen(QColor(20, 40, 70));
             p.setBrush(kFog);
             p.drawEllipse(QRect(1, 1, 17, 17));
             p.setPen(Qt::NoPen);
             p.setBrush(kFogLight);
             p.drawEllipse(QRect(4, 3, 8, 5));
             p.setBrush(Qt::white);
             p.drawRect(QRect(9, 5, 2, 2));
             p.drawRect(QRect(8, 8, 3, 7));
             p.drawRect(QRect(7, 14, 6, 1));
         }},
        // 130: open a container: a brass folder holding a fog-blue disc.
        {130, kRed15Key,
         [](QPainter& p) {
             folder(p, kBrass, kBrassLight);
             p.setPen(kOutline);
             p.setBrush(kFog);
             p.drawEllipse(QRect(7, 9, 7, 7));
             p.setBrush(kPaper);
             p.drawEllipse(QRect(9, 11, 3, 3));
         }},
        // 131: previous directory: a folder with a green arrow pointing up.
        {131, kGreyKey,
         [](QPainter& p) {
             folder(p, kBrass, kBrassLight);
             p.setPen(kOutline);
             p.setBrush(kGreen);
             p.drawPolygon(
                 QPolygon({{10, 1}, {15, 7}, {12, 7}, {12, 14}, {8, 14}, {8, 7}, {5, 7}}));
         }},
        // 132: spare: a folder with a green arrow pointing down (the window uses no 132).
        {132, kGreyKey,
         [](QPainter& p) {
             folder(p, kBrass, kBrassLight);
             p.setPen(kOutline);
             p.setBrush(kGreen);
             p.drawPolygon(
                 QPolygon({{10, 16}, {15, 10}, {12, 10}, {12, 3}, {8, 3}, {8, 10}, {5, 10}}));
         }},
        // 133: play: a green triangle with a lighter face.
        {133, kGreyKey,
         [](QPainter& p) {
             p.setPen(QColor(20, 90, 40));
             p.setBrush(kGreen);
             p.drawPolygon(QPolygon({{5, 2}, {17, 10}, {5, 18}}));
             p.setPen(Qt::NoPen);
             p.setBrush(kGreenLight);
             p.drawPolygon(QPolygon({{7, 5}, {12, 8}, {7, 11}}));
         }},
        // 134: stop: a red square with a darker rim.
        {134, kGreyKey,
         [](QPainter& p) {
             p.setPen(QColor(110, 20, 20));
             p.setBrush(kRed);
             p.drawRect(QRect(3, 3, 13, 13));
             p.setPen(Qt::NoPen);
             p.setBrush(QColor(236, 120, 110));
             p.drawRect(QRect(5, 5, 5, 3));
         }},
        // 135: select all: three list rows, each with a tick.
        {135, kGreyKey,
         [](QPainter& p) {
             for (int row = 0; row < 3; ++row) {
                 const int y = 2 + row * 6;
                 p.setPen(kOutline);
                 p.setBrush(kPaper);
                 p.drawRect(QRect(1, y, 5, 5));
                 p.setPen(QPen(kGreen, 1));
                 p.drawLine(2, y + 2, 3, y + 4);
                 p.drawLine(3, y + 4, 6, y);
                 p.setPen(Qt::NoPen);
                 p.setBrush(kFog);
                 p.drawRect(QRect(8, y + 1, 11, 3));
             }
         }},
        // 136: up the list.
        {136, kGreyKey, [](QPainter& p) { chevron(p, true); }},
        // 137: down the list.
        {137, kGreyKey, [](QPainter& p) { chevron(p, false); }},
        // 138: open a single sound file: a sheet with a waveform on it.
        {138, kGreyKey,
         [](QPainter& p) {
             p.setPen(kOutline);
             p.setBrush(kPaper);
             p.drawPolygon(QPolygon({{3, 1}, {12, 1}, {16, 5}, {16, 18}, {3, 18}}));
             p.drawPolyline(QPolygon({{12, 1}, {12, 5}, {16, 5}}));
             p.setPen(kFog);
             const int heights[] = {2, 5, 3, 7, 4, 6, 2, 4, 1};
             for (int i = 0; i < 9; ++i) {
                 const int x = 5 + i;
                 const int h = heights[i];
                 p.drawLine(x, 12 - h / 2 - 1, x, 12 + h / 2);
             }
         }},
    };
}

// The program icon: a brass bell in the fog with sound rings, on a rounded slate tile.
QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    QLinearGradient tile(0, 0, 0, 64);
    tile.setColorAt(0, QColor(70, 104, 140));
    tile.setColorAt(1, QColor(30, 44, 62));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    // Fog bands behind the bell.
    p.setBrush(QColor(200, 220, 240, 70));
    p.drawRoundedRect(QRectF(6, 40, 52, 6), 3, 3);
    p.drawRoundedRect(QRectF(12, 49, 40, 5), 2.5, 2.5);
    // Bell body.
    QPainterPath bell;
    bell.moveTo(20, 42);
    bell.cubicTo(22, 36, 21, 18, 32, 16);
    bell.cubicTo(43, 18, 42, 36, 44, 42);
    bell.lineTo(47, 45);
    bell.lineTo(17, 45);
    bell.closeSubpath();
    QLinearGradient metal(20, 0, 44, 0);
    metal.setColorAt(0, kBrassLight);
    metal.setColorAt(0.55, kBrass);
    metal.setColorAt(1, QColor(150, 104, 24));
    p.setBrush(metal);
    p.setPen(QPen(QColor(90, 60, 10), 1.2));
    p.drawPath(bell);
    p.setBrush(QColor(150, 104, 24));
    p.drawEllipse(QPointF(32, 48), 3.5, 3.5);
    p.drawEllipse(QPointF(32, 14), 2.5, 2.5);
    // Sound rings on both sides.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kFogLight, 2.2, Qt::SolidLine, Qt::RoundCap));
    for (int ring = 0; ring < 2; ++ring) {
        const double r = 9 + ring * 6;
        p.drawArc(QRectF(47 - r, 28 - r, 2 * r, 2 * r), -40 * 16, 80 * 16);
        p.drawArc(QRectF(17 - r, 28 - r, 2 * r, 2 * r), 140 * 16, 80 * 16);
    }
    return image;
}

// A small second icon: a speaker with waves, used in the About window.
QImage drawSpeakerIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(kOutline, 1.2));
    p.setBrush(kFog);
    p.drawPolygon(QPolygonF({{4, 12}, {10, 12}, {17, 5}, {17, 27}, {10, 20}, {4, 20}}));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kGreen, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(12, 9, 12, 14), -50 * 16, 100 * 16);
    p.drawArc(QRectF(10, 5, 20, 22), -50 * 16, 100 * 16);
    return image;
}

// The banner of the main window: a bell tower over misty hills with a waveform in the sky.
QImage drawBanner() {
    const int w = 320, h = 120;
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(44, 70, 104));
    sky.setColorAt(0.6, QColor(132, 164, 196));
    sky.setColorAt(1, QColor(210, 222, 232));
    p.fillRect(image.rect(), sky);
    // A pale moon.
    QRadialGradient moon(250, 30, 22);
    moon.setColorAt(0, QColor(255, 250, 230));
    moon.setColorAt(0.6, QColor(250, 240, 210, 200));
    moon.setColorAt(1, QColor(250, 240, 210, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(moon);
    p.drawEllipse(QPointF(250, 30), 22, 22);
    // A waveform across the sky.
    QPainterPath wave;
    for (int x = 0; x <= w; x += 2) {
        const double t = x / double(w);
        const double y = 34 + std::sin(t * 31.0) * 10 * std::sin(t * 3.14159) * std::cos(t * 7.0);
        if (x == 0) {
            wave.moveTo(x, y);
        } else {
            wave.lineTo(x, y);
        }
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(248, 214, 120, 190), 1.6));
    p.drawPath(wave);
    // Hills, far to near.
    const QColor hills[] = {QColor(92, 118, 146), QColor(64, 86, 110), QColor(40, 56, 74)};
    for (int layer = 0; layer < 3; ++layer) {
        QPainterPath hill;
        hill.moveTo(0, h);
        for (int x = 0; x <= w; x += 4) {
            const double y = 74 + layer * 12 + std::sin(x * (0.018 + layer * 0.007) + layer) * 9;
            hill.lineTo(x, y);
        }
        hill.lineTo(w, h);
        hill.closeSubpath();
        p.setBrush(hills[layer]);
        p.setPen(Qt::NoPen);
        p.drawPath(hill);
    }
    // The bell tower on the middle hill.
    p.setBrush(QColor(30, 40, 54));
    p.drawRect(QRectF(70, 44, 16, 40));
    p.drawPolygon(QPolygonF({{66, 46}, {78, 30}, {90, 46}}));
    p.setBrush(kBrass);
    p.drawEllipse(QPointF(78, 54), 4, 4);
    // Fog banks.
    for (int band = 0; band < 4; ++band) {
        p.setBrush(QColor(226, 234, 242, 60 + band * 10));
        p.drawRoundedRect(QRectF(-20 + band * 70, 86 + (band % 2) * 10, 180, 12), 6, 6);
    }
    return image;
}

bool save(const QImage& image, const QString& path, const char* format, int quality = -1) {
    if (!image.save(path, format, quality)) {
        std::fprintf(stderr, "fogbell_draw_art: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// The Windows icon file (ICO) of the program icon, which the program's resource file compiles
// into fogbell.exe: Explorer shows it for the program, its shortcuts and the files associated
// with it. Layout, little-endian:
//   0   2        0
//   2   2        1 (an icon)
//   4   2        image count N
//   6   16 x N   per image: width, height (1 byte each, 0 for 256), 0, 0, planes (u16, 1),
//                bits per pixel (u16, 32), byte size (u32), offset from the file's start (u32)
// then the images: the 256-pixel one a PNG file, the smaller ones a BITMAPINFOHEADER of twice
// their height (colour rows and mask rows) followed by the BGRA rows and the 1-bit mask rows,
// bottom row first, the mask set where the image is transparent; every row of the mask is
// padded to 4 bytes.
constexpr int kIconSizes[] = {16, 24, 32, 48, 256};
constexpr int kPngIconSize = 256;  // sizes from this one up are stored as PNG
constexpr quint32 kIconDirectorySize = 6;
constexpr quint32 kIconEntrySize = 16;
constexpr quint32 kBitmapHeaderSize = 40;

// One image of the icon file as stored: a PNG file or a 32-bit bitmap with its mask.
QByteArray iconImage(const QImage& drawn) {
    QByteArray bytes;
    if (drawn.width() >= kPngIconSize) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        drawn.save(&buffer, "PNG");
        return bytes;
    }
    const QImage image = drawn.convertToFormat(QImage::Format_ARGB32);  // BGRA in memory
    const int size = image.width();
    const int maskRow = (size + 31) / 32 * 4;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << kBitmapHeaderSize << qint32(size) << qint32(2 * size) << quint16(1) << quint16(32)
        << quint32(0) << quint32(size * size * 4 + maskRow * size) << qint32(0) << qint32(0)
        << quint32(0) << quint32(0);
    for (int y = size - 1; y >= 0; --y) {
        out.writeRawData(reinterpret_cast<const char*>(image.constScanLine(y)), size * 4);
    }
    for (int y = size - 1; y >= 0; --y) {
        QByteArray mask(maskRow, '\0');
        for (int x = 0; x < size; ++x) {
            if (qAlpha(image.pixel(x, y)) == 0) {
                mask[x / 8] = char(mask[x / 8] | (0x80 >> (x % 8)));
            }
        }
        out.writeRawData(mask.constData(), maskRow);
    }
    return bytes;
}

// Writes the program icon at every size of kIconSizes as an ICO file.
bool saveIcon(const QString& path) {
    std::vector<QByteArray> images;
    for (const int size : kIconSizes) {
        images.push_back(iconImage(drawIcon(size)));
    }
    QByteArray file;
    QDataStream out(&file, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(images.size());
    quint32 offset = kIconDirectorySize + kIconEntrySize * quint32(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int size = kIconSizes[i];
        const auto side = quint8(size >= 256 ? 0 : size);
        out << side << side << quint8(0) << quint8(0) << quint16(1) << quint16(32)
            << quint32(images[i].size()) << offset;
        offset += quint32(images[i].size());
    }
    for (const QByteArray& image : images) {
        out.writeRawData(image.constData(), int(image.size()));
    }
    QFile ico(path);
    if (!ico.open(QIODevice::WriteOnly | QIODevice::Truncate) || ico.write(file) != file.size()) {
        std::fprintf(stderr, "fogbell_draw_art: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(".")) {
        std::fprintf(stderr, "fogbell_draw_art: cannot create %s\n", argv[1]);
        return 1;
    }
    QStringList files;
    // Each bitmap at its size and at twice it ("@2x"), drawn from the same shapes, for screens
    // at 200 %.
    for (const Bitmap& bitmap : bitmaps()) {
        for (const int scale : {1, 2}) {
            QImage image = blank(kBitmapSize * scale, kBitmapSize * scale, bitmap.key);
            {
                QPainter p(&image);
                p.scale(scale, scale);
                bitmap.draw(p);
            }
            const QString name =
                QString("bitmap%1%2.png").arg(bitmap.id).arg(scale == 1 ? "" : "@2x");
            if (!save(image, out.filePath(name), "PNG")) {
                return 1;
            }
            files << name;
        }
    }
    const struct {
        const char* name;
        QImage image;
    } icons[] = {{"icon128.png", drawIcon(64)},
                 {"icon128_32.png", drawIcon(32)},
                 {"icon145.png", drawSpeakerIcon(32)}};
    for (const auto& icon : icons) {
        if (!save(icon.image, out.filePath(icon.name), "PNG")) {
            return 1;
        }
        files << icon.name;
    }
    if (!save(drawIcon(128), out.filePath("fogbell.png"), "PNG") ||
        !saveIcon(out.filePath("fogbell.ico")) ||
        !save(drawBanner(), out.filePath("pic.jpg"), "JPEG", 90)) {
        return 1;
    }

    QFile qrc(out.filePath("fogbell_art.qrc"));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "fogbell_draw_art: cannot write the resource list\n");
        return 1;
    }
    QTextStream list(&qrc);
    list << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/fogbell/art\">\n";
    for (const QString& file : files) {
        list << "  <file>" << file << "</file>\n";
    }
    list << "</qresource>\n</RCC>\n";
    return 0;
}
