// Prints how many distinct colours a picture holds, so that a script can
// tell a real screenshot from a blank or unreadable one.
#include <QImage>
#include <QSet>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: image_colours FILE\n");
        return 2;
    }
    const QImage image(QString::fromLocal8Bit(argv[1]));
    if (image.isNull()) {
        std::fprintf(stderr, "image_colours: cannot read %s\n", argv[1]);
        return 1;
    }
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    QSet<QRgb> colours;
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
            colours.insert(pixels.pixel(x, y));
    std::printf("%d x %d, %lld colours\n", pixels.width(), pixels.height(), static_cast<long long>(colours.size()));
    return 0;
}
