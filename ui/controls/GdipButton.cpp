#include "ui/controls/GdipButton.h"

#include "core/XMLSettings.h"
#include "ui/skin/SkinImage.h"
#include "ui/skin/SkinValues.h"

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

void CGdipButton::ApplySkin(CXMLSettings& skin, CSkinImages& images, const QString& section, int x, int y, int width,
    int height, bool hasAlternate)
{
    PlaceFromSkin(skin, section, x, y, width, height);
    raise();
    m_textColor = ColorFromBgr(skin.GetColor(section, QStringLiteral("TextColor"), 0x00FFFFFF));
    ApplyVisibleKey(skin, section);
    m_hideText = true;

    const QSize device = DeviceSize();
    const qreal scale = PaintScale();
    auto take = [&](Picture picture, const char* key, const char* suffix) {
        const QString name = skin.GetString(section, QString::fromLatin1(key), section + QLatin1String(suffix), true);
        m_paths[picture] = SkinFilePath(images.Folder(), name);
        m_sources[picture] = images.Request(name, device, scale);
    };
    for (int i = 0; i < PictureCount; ++i) {
        m_paths[i].clear();
        m_sources[i] = CSkinPicture();
        m_decoded[i] = QImage();
        m_decodedDone[i] = false;
    }
    take(Normal, "Image\\Normal", ".png");
    take(Hot, "Image\\Hot", "-hot.png");
    take(Pressed, "Image\\Pressed", "-pressed.png");
    if (hasAlternate) {
        take(AltNormal, "AltImage\\Normal", "-2.png");
        take(AltHot, "AltImage\\Hot", "-2-hot.png");
        take(AltPressed, "AltImage\\Pressed", "-2-pressed.png");
    }
    DiscardPictures();
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

void CGdipButton::SetImage(Picture picture, const QString& path)
{
    m_paths[picture] = path;
    m_sources[picture] = CSkinPicture();
    m_decoded[picture] = QImage();
    m_decodedDone[picture] = false;
    m_pictures[picture] = QPixmap();
    update();
}

bool CGdipButton::SetImageNormal(const QString& path)
{
    SetImage(Normal, path);
    return true;
}

bool CGdipButton::SetImageHot(const QString& path)
{
    SetImage(Hot, path);
    return true;
}

bool CGdipButton::SetImagePressed(const QString& path)
{
    SetImage(Pressed, path);
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
// missing or cannot be read leaves the background alone. Each image is decoded once, at the button's
// size: a skin's images by the skin, others here (the same file once for every state showing it). A
// picture is built when its state is first shown: most buttons never show most of their states.
void CGdipButton::BuildShownPicture()
{
    const qreal scale = PaintScale();
    const QSize device = DeviceSize();
    for (int i = 0; i < PictureCount; ++i) {
        if (m_decodedDone[i])
            continue;
        if (m_sources[i].IsRequested()) {
            m_decoded[i] = m_sources[i].Image();
        } else {
            m_decoded[i] = QImage();
            for (int j = 0; j < i; ++j)
                if (m_decodedDone[j] && !m_sources[j].IsRequested() && m_paths[j] == m_paths[i])
                    m_decoded[i] = m_decoded[j];
            if (m_decoded[i].isNull() && !m_paths[i].isEmpty())
                m_decoded[i] = ReadSkinImage(m_paths[i], scale, device, SkinImagePixelLimit(device));
        }
        m_decodedDone[i] = true;
    }
    const Picture shown = CurrentPicture();
    QPixmap& picture = m_pictures[shown];
    if (!picture.isNull() && picture.devicePixelRatio() == scale && picture.size() == device)
        return;
    picture = BackgroundPicture();
    const QImage& image = m_decoded[shown];
    if (image.isNull())
        return;
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawImage(QRectF(rect()), image, QRectF(image.rect()));
}

bool CGdipButton::event(QEvent* event)
{
    const bool handled = QAbstractButton::event(event);
    KeepOpaque(event);
    return handled;
}

void CGdipButton::paintEvent(QPaintEvent*)
{
    if (width() <= 0 || height() <= 0)
        return;
    BuildShownPicture();
    QPainter painter(this);
    DrawDevicePicture(painter, m_pictures[CurrentPicture()]);
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
