#include "ui/GdipButton.h"

#include "core/XMLSettings.h"
#include "ui/SkinImage.h"
#include "ui/SkinValues.h"

#include <QCursor>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QToolTip>

namespace
{

// Captions are taken up to this many characters.
constexpr int kMaxCaption = 63;

} // namespace

QString ButtonCaption(const QString& text, const QFontMetrics& metrics, int width)
{
    return metrics.elidedText(text.left(kMaxCaption), Qt::ElideMiddle, width);
}

CGdipButton::CGdipButton(QWidget* parent)
    : QAbstractButton(parent)
    , CSkinnedControl(this)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CGdipButton::ApplySkin(CXMLSettings& skin, const QString& skinFolder, const QString& section, int x, int y,
    int width, int height, bool hasAlternate)
{
    PlaceFromSkin(skin, section, x, y, width, height);
    raise();
    m_textColor = ColorFromBgr(skin.GetColor(section, QStringLiteral("TextColor"), 0x00FFFFFF));
    ApplyVisibleKey(skin, section);
    m_hideText = true;

    auto imagePath = [&](const QString& key, const QString& suffix) {
        return skinFolder + skin.GetString(section, key, section + suffix, true);
    };
    m_paths[Normal] = imagePath(QStringLiteral("Image\\Normal"), QStringLiteral(".png"));
    m_paths[Hot] = imagePath(QStringLiteral("Image\\Hot"), QStringLiteral("-hot.png"));
    m_paths[Pressed] = imagePath(QStringLiteral("Image\\Pressed"), QStringLiteral("-pressed.png"));
    if (hasAlternate) {
        m_paths[AltNormal] = imagePath(QStringLiteral("AltImage\\Normal"), QStringLiteral("-2.png"));
        m_paths[AltHot] = imagePath(QStringLiteral("AltImage\\Hot"), QStringLiteral("-2-hot.png"));
        m_paths[AltPressed] = imagePath(QStringLiteral("AltImage\\Pressed"), QStringLiteral("-2-pressed.png"));
    }
    update();
}

void CGdipButton::SetAlternate(bool alternate)
{
    m_alternate = alternate;
    update();
}

bool CGdipButton::SetHideText(bool hide)
{
    m_hideText = hide;
    update();
    return true;
}

bool CGdipButton::SetImageNormal(const QString& path)
{
    m_paths[Normal] = path;
    return true;
}

bool CGdipButton::SetImageHot(const QString& path)
{
    m_paths[Hot] = path;
    return true;
}

bool CGdipButton::SetImagePressed(const QString& path)
{
    m_paths[Pressed] = path;
    return true;
}

void CGdipButton::SetTooltipText(const QString& text, bool activate)
{
    if (text.isEmpty())
        return;
    m_tooltip = text;
    m_tooltipActive = activate;
}

CGdipButton::Picture CGdipButton::CurrentPicture() const
{
    if (isDown())
        return m_alternate ? AltPressed : Pressed;
    if (m_hover)
        return m_alternate ? AltHot : Hot;
    return m_alternate ? AltNormal : Normal;
}

void CGdipButton::OnBackgroundChanged()
{
    DiscardPictures();
}

void CGdipButton::DiscardPictures()
{
    for (QPixmap& picture : m_pictures)
        picture = QPixmap();
}

// A picture is the background with the state's image scaled over the whole button; an image that is
// missing or cannot be read leaves the background alone.
void CGdipButton::BuildMissingPictures()
{
    const qreal scale = PaintScale();
    for (int i = 0; i < PictureCount; ++i) {
        QPixmap& picture = m_pictures[i];
        if (!picture.isNull() && picture.devicePixelRatio() == scale && picture.size() == DeviceSize())
            continue;
        picture = BackgroundPicture();
        const QImage image = ReadSkinImage(m_paths[i], scale);
        if (image.isNull())
            continue;
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.drawImage(QRectF(rect()), image, QRectF(image.rect()));
    }
}

void CGdipButton::paintEvent(QPaintEvent*)
{
    if (width() <= 0 || height() <= 0)
        return;
    BuildMissingPictures();
    QPainter painter(this);
    painter.drawPixmap(rect(), m_pictures[CurrentPicture()]);
    if (m_hideText)
        return;
    painter.setPen(m_textColor);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, ButtonCaption(text(), fontMetrics(), width()));
}

// The tool tip pops up once per visit of the mouse: a window system may repeat the enter when other
// windows (the tool tip itself) come and go.
void CGdipButton::enterEvent(QEnterEvent* event)
{
    const bool arriving = !m_hover;
    m_hover = true;
    update();
    if (arriving && m_tooltipActive && !m_tooltip.isEmpty())
        QToolTip::showText(event->globalPosition().toPoint(), m_tooltip, this, QRect(), kTooltipMs);
    QAbstractButton::enterEvent(event);
}

void CGdipButton::leaveEvent(QEvent* event)
{
    m_hover = false;
    update();
    QAbstractButton::leaveEvent(event);
}
