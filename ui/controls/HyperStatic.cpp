#include "ui/controls/HyperStatic.h"

#include "core/XMLSettings.h"
#include "ui/skin/SkinValues.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace
{

// Font heights a skin may ask for, in pixels.
constexpr int kMinTextSize = 1;
constexpr int kMaxTextSize = 200;
// Corner size of the glow's outline.
constexpr qreal kGlowCorner = 10.0;

UrlOpener& Opener()
{
    static UrlOpener opener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return opener;
}

// The pixel size that gives a font the cell height (ascent plus descent) asked for: skins give text
// sizes as cell heights, and their rectangles are made to hold exactly that.
int PixelSizeForCellHeight(QFont font, int cellHeight)
{
    font.setPixelSize(100);
    const qreal height = QFontMetricsF(font).height();
    if (height <= 0)
        return cellHeight;
    return std::max(1, int(std::lround(cellHeight * 100.0 / height)));
}

} // namespace

bool IsUrl(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == u"http" || scheme == u"https")
        return !url.host().isEmpty();
    if (scheme == u"mailto")
        return !url.path().isEmpty();
    return false;
}

bool OpenUrl(const QString& text)
{
    if (!IsUrl(text) || !Opener())
        return false;
    return Opener()(QUrl(text, QUrl::StrictMode));
}

bool OpenFolder(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isDir() || !Opener())
        return false;
    return Opener()(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

UrlOpener SetUrlOpener(UrlOpener opener)
{
    UrlOpener previous = std::move(Opener());
    Opener() = std::move(opener);
    return previous;
}

CHyperStatic::CHyperStatic(QWidget* parent)
    : QWidget(parent)
    , CSkinnedControl(this)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CHyperStatic::ApplySkin(CXMLSettings& skin, const QString& section, int x, int y, int width, int height)
{
    m_fillColor = ColorFromArgb(skin.GetColorArgb(section, QStringLiteral("BkColor"), 0));

    const SkinColorText text = ParseSkinColorText(skin.GetString(section, QStringLiteral("TextColor"), "-1", true));
    m_textColor = text.unset ? palette().color(QPalette::WindowText) : ColorFromArgb(text.argb | 0xFF000000);

    m_textSize
        = std::clamp(skin.GetIntScaled(section, QStringLiteral("TextSize"), 13, true), kMinTextSize, kMaxTextSize);

    switch (skin.GetInt(section, QStringLiteral("TextAlign"), -1, true)) {
    case -1:
        m_alignment = AlignLeft;
        break;
    case 0:
        m_alignment = AlignCenter;
        break;
    case 1:
        m_alignment = AlignRight;
        break;
    default:
        break;
    }

    const SkinColorText glow = ParseSkinColorText(skin.GetString(section, QStringLiteral("GlowColor"), "-1", true));
    m_glowColor = glow.unset ? QColor(255, 255, 255, 150) : ColorFromArgb(glow.argb);

    // A skinned link is coloured like plain text; only the underline tells it apart.
    m_hoverColor = m_linkColor = m_visitedColor = m_textColor;

    PlaceFromSkin(skin, section, x, y, width, height);
    raise();
    ApplyVisibleKey(skin, section);
    update();
}

void CHyperStatic::SetText(const QString& text)
{
    // Timers set the status labels again and again with what they already show: nothing changes then.
    if (text == m_text && !m_visited)
        return;
    m_text = text;
    m_textIsLink = IsUrl(text);
    m_visited = false;
    UpdateHoverAtCursor();
    update();
}

void CHyperStatic::SetUrl(const QString& address)
{
    m_url = address;
    m_urlIsLink = IsUrl(address);
    UpdateHoverAtCursor();
    update();
}

void CHyperStatic::SetLook(
    const QColor& text, const QColor& link, const QColor& hover, const QColor& glow, int textSize)
{
    m_textColor = text;
    m_linkColor = m_visitedColor = link;
    m_hoverColor = hover;
    m_glowColor = glow;
    m_textSize = std::clamp(textSize, kMinTextSize, kMaxTextSize);
    update();
}

QFont CHyperStatic::DrawingFont() const
{
    QFont drawing = window() != this ? window()->font() : font();
    drawing.setItalic(false);
    drawing.setStrikeOut(false);
    drawing.setUnderline(IsLink());
    drawing.setPixelSize(PixelSizeForCellHeight(drawing, m_textSize));
    return drawing;
}

QColor CHyperStatic::CurrentTextColor() const
{
    if (!IsLink())
        return m_textColor;
    if (m_visited)
        return m_visitedColor;
    return m_hover ? m_hoverColor : m_linkColor;
}

void CHyperStatic::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    DrawBackground(painter);
    if (m_fillColor.alpha() != 0)
        painter.fillRect(rect(), m_fillColor);
    if (!m_text.isEmpty()) {
        DrawGlow(painter);
        DrawLines(painter);
    }
}

// A soft patch of the glow colour behind the text, fading out towards a rounded outline: solid over
// the middle 92 % of the width and 40 % of the height.
void CHyperStatic::DrawGlow(QPainter& painter) const
{
    if (m_glowColor.alpha() == 0 || width() <= 0 || height() <= 0)
        return;
    const QRectF area(0, 0, width() + 1, height());
    const qreal scale = PaintScale();
    QImage glow(QSize(int(std::ceil(area.width() * scale)), int(std::ceil(area.height() * scale))),
        QImage::Format_ARGB32_Premultiplied);
    glow.setDevicePixelRatio(scale);
    glow.fill(Qt::transparent);
    {
        QPainter g(&glow);
        g.setRenderHint(QPainter::Antialiasing);
        QColor clear = m_glowColor;
        clear.setAlpha(0);
        QLinearGradient vertical(0, 0, 0, area.height());
        vertical.setColorAt(0.0, clear);
        vertical.setColorAt(0.3, m_glowColor);
        vertical.setColorAt(0.7, m_glowColor);
        vertical.setColorAt(1.0, clear);
        QPainterPath outline;
        outline.addRoundedRect(area, kGlowCorner / 2, kGlowCorner / 2);
        g.fillPath(outline, vertical);

        g.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        QLinearGradient horizontal(0, 0, area.width(), 0);
        horizontal.setColorAt(0.0, QColor(0, 0, 0, 0));
        horizontal.setColorAt(0.04, QColor(0, 0, 0, 255));
        horizontal.setColorAt(0.96, QColor(0, 0, 0, 255));
        horizontal.setColorAt(1.0, QColor(0, 0, 0, 0));
        g.fillRect(area, horizontal);
    }
    painter.drawImage(QPointF(0, 0), glow);
}

// Line breaks in the text start new lines; a line too long for the label ends in an ellipsis.
void CHyperStatic::DrawLines(QPainter& painter) const
{
    const QFont drawing = DrawingFont();
    const QFontMetrics metrics(drawing);
    painter.setFont(drawing);
    painter.setPen(CurrentTextColor());
    const QRect textRect = rect().adjusted(1, 0, 0, 0);
    const Qt::Alignment horizontal = m_alignment == AlignCenter ? Qt::AlignHCenter
        : m_alignment == AlignRight                             ? Qt::AlignRight
                                                                : Qt::AlignLeft;
    int top = textRect.top();
    for (QString line : m_text.split(u'\n')) {
        if (top >= textRect.bottom() + 1)
            break;
        line.remove(u'\r');
        const QString shown = metrics.elidedText(line, Qt::ElideRight, textRect.width());
        painter.drawText(QRect(textRect.left(), top, textRect.width(), metrics.height()),
            horizontal | Qt::AlignTop | Qt::TextSingleLine, shown);
        top += metrics.height();
    }
}

void CHyperStatic::UpdateHover(const QPoint& position)
{
    SetHover(IsLink() && isVisible() && rect().contains(position));
}

// Only a link hovers: for plain text the window system is not asked where the pointer is.
void CHyperStatic::UpdateHoverAtCursor()
{
    if (IsLink())
        UpdateHover(mapFromGlobal(QCursor::pos()));
    else
        SetHover(false);
}

void CHyperStatic::SetHover(bool hover)
{
    if (hover == m_hover)
        return;
    m_hover = hover;
    if (hover)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
    update();
}

void CHyperStatic::mouseMoveEvent(QMouseEvent* event)
{
    if (m_drag.Move(event->globalPosition().toPoint()))
        return;
    UpdateHover(event->position().toPoint());
}

void CHyperStatic::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !isVisible())
        return;
    if (m_hover) {
        m_pressedOnLink = true;
        return;
    }
    m_drag.Begin(this, event->globalPosition().toPoint());
}

void CHyperStatic::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_drag.End();
    if (!m_pressedOnLink)
        return;
    m_pressedOnLink = false;
    UpdateHover(event->position().toPoint());
    if (!m_hover)
        return;
    OpenUrl(m_urlIsLink ? m_url : m_text);
    m_visited = true;
    update();
}

// The window treats a double click on a label like one on its own body.
void CHyperStatic::mouseDoubleClickEvent(QMouseEvent* event)
{
    QWidget* target = window();
    if (event->button() != Qt::LeftButton || target == this)
        return;
    QCoreApplication::postEvent(target,
        new QMouseEvent(QEvent::MouseButtonDblClick, QPointF(0, 0), QPointF(target->mapToGlobal(QPoint(0, 0))),
            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
}

void CHyperStatic::leaveEvent(QEvent* event)
{
    SetHover(false);
    QWidget::leaveEvent(event);
}

void CHyperStatic::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        update();
    QWidget::changeEvent(event);
}
