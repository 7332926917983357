#include "ui/skin/ListColor.h"

#include <algorithm>
#include <cmath>

namespace
{

constexpr int kSamples = 2000;
constexpr double kDarkLimit = 130.0;
constexpr double kTargetBrightness = 180.0;
constexpr double kChannelLimit = 230.0;

} // namespace

QColor ListColorFromImage(const QImage& image, const QSize& clientSize)
{
    return ListColorFromImage(image, clientSize, image.size());
}

QColor ListColorFromImage(const QImage& image, const QSize& clientSize, const QSize& ownSize)
{
    const QSize own = ownSize.isValid() ? ownSize : image.size();
    CSampleRandom random(1);
    QRgb last = qRgb(0, 0, 0);
    double red = 0, green = 0, blue = 0;
    for (int i = 0; i < kSamples; ++i) {
        const int y = int(random.Next() / 32768.0 * clientSize.height());
        const int x = int(random.Next() / 32768.0 * clientSize.width());
        if (x < own.width() && y < own.height()) {
            const int ix = own.width() == image.width() ? x : int(int64_t(x) * image.width() / own.width());
            const int iy = own.height() == image.height() ? y : int(int64_t(y) * image.height() / own.height());
            if (image.valid(ix, iy))
                last = image.pixel(ix, iy);
        }
        red += qRed(last);
        green += qGreen(last);
        blue += qBlue(last);
    }
    red *= 0.0005;
    green *= 0.0005;
    blue *= 0.0005;
    const double brightness = std::sqrt((red * red + green * green + blue * blue) / 3.0);
    if (brightness < kDarkLimit) {
        if (brightness <= 0.0)
            return QColor(0, 0, 0);
        const double factor = std::min(kTargetBrightness / brightness, kChannelLimit / std::max({ red, green, blue }));
        red *= factor;
        green *= factor;
        blue *= factor;
    }
    auto channel = [](double value) { return std::clamp(int(std::lround(value)), 0, 255); };
    return QColor(channel(red), channel(green), channel(blue));
}
