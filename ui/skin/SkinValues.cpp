#include "ui/skin/SkinValues.h"

#include <QStringList>
#include <QWidget>
#include <algorithm>

QRect ClampSkinRect(const RECT& rect)
{
    const int64_t width = std::clamp<int64_t>(int64_t(rect.right) - rect.left, 0, kSkinMaxSize);
    const int64_t height = std::clamp<int64_t>(int64_t(rect.bottom) - rect.top, 0, kSkinMaxSize);
    const int x = std::clamp<int32_t>(rect.left, -kSkinMaxCoordinate, kSkinMaxCoordinate);
    const int y = std::clamp<int32_t>(rect.top, -kSkinMaxCoordinate, kSkinMaxCoordinate);
    return QRect(x, y, int(width), int(height));
}

QRect ReadSkinRect(CXMLSettings& skin, const QString& section, int x, int y, int width, int height)
{
    return ClampSkinRect(skin.GetRect(section, x, y, width, height));
}

QRect SkinRectWithin(const QRect& rect, const QWidget* control)
{
    const QWidget* parent = control ? control->parentWidget() : nullptr;
    if (!parent)
        return rect;
    const QRect shown = rect & parent->rect();
    return shown.isEmpty() ? QRect(rect.topLeft(), QSize(0, 0)) : shown;
}

QColor ColorFromBgr(uint32_t bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

uint32_t BgrFromColor(const QColor& color)
{
    return uint32_t(color.red()) | (uint32_t(color.green()) << 8) | (uint32_t(color.blue()) << 16);
}

QColor ColorFromArgb(uint32_t argb)
{
    return QColor(int((argb >> 16) & 0xFF), int((argb >> 8) & 0xFF), int(argb & 0xFF), int(argb >> 24));
}

namespace
{

// Decimal text like the store's integers: leading blanks, a sign, digits up to the first other
// character; nothing readable is 0.
int64_t LeadingNumber(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = std::min<int64_t>(value * 10 + (text[i].unicode() - u'0'), int64_t(1) << 40);
    return negative ? -value : value;
}

} // namespace

SkinColorText ParseSkinColorText(const QString& text)
{
    const QStringList parts = text.split(u',', Qt::SkipEmptyParts);
    int64_t numbers[4] = { 0, 0, 0, 0 };
    for (int i = 0; i < 4 && i < parts.size(); ++i)
        numbers[i] = LeadingNumber(parts[i]);
    SkinColorText color;
    color.unset = numbers[0] < 0;
    for (int i = 0; i < 4; ++i)
        color.argb = (color.argb << 8) | (uint32_t(numbers[i]) & 0xFF);
    return color;
}
