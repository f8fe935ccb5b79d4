#include "CheckImages.h"

#include <QVector>

QImage checkBoxPicture(bool checked)
{
    // The standard 16-colour palette; only four of its colours are used.
    static const QVector<QRgb> palette{
        qRgb(0, 0, 0), qRgb(128, 0, 0), qRgb(0, 128, 0), qRgb(128, 128, 0), qRgb(0, 0, 128), qRgb(128, 0, 128),
        qRgb(0, 128, 128), qRgb(128, 128, 128), qRgb(192, 192, 192), qRgb(255, 0, 0), qRgb(0, 255, 0),
        qRgb(255, 255, 0), qRgb(0, 0, 255), qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    enum { Black = 0, Olive = 3, Silver = 8, White = 15 };

    QImage img(16, 16, QImage::Format_Indexed8);
    img.setColorTable(palette);
    img.fill(Olive);
    for (int y = 2; y <= 11; ++y)
        for (int x = 2; x <= 11; ++x)
            img.setPixel(x, y, (x == 2 || y == 2) ? Black : White);
    for (int i = 1; i <= 13; ++i) {
        img.setPixel(13, i, Silver);
        img.setPixel(i, 13, Silver);
    }
    if (checked) {
        // A tick two pixels thick: down from (4,6) to (6,8), up to (10,4).
        const int tick[][2] = {{4, 6}, {5, 7}, {6, 8}, {7, 7}, {8, 6}, {9, 5}, {10, 4}};
        for (const auto &p : tick) {
            img.setPixel(p[0], p[1], Black);
            img.setPixel(p[0], p[1] + 1, Black);
        }
    }
    return img;
}
