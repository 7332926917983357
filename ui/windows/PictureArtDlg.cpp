#include "ui/windows/PictureArtDlg.h"

#include "core/Localization.h"
#include "core/WindowMessage.h"
#include "ui/controls/HyperStatic.h"
#include "ui/skin/Skin.h"
#include "ui/skin/WindowFader.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QScreen>

namespace
{

const int WM_KAVRILUNE_PICTURE_ART_IS_VISIBLE = RegisterWindowMessage("WM_KAVRILUNE_PICTURE_ART_IS_VISIBLE");
const int WM_KAVRILUNE_PICTURE_ART_DISABLE = RegisterWindowMessage("WM_KAVRILUNE_PICTURE_ART_DISABLE");

// A lookup has finished (the window's own message).
constexpr int kLookupDone = WM_USER + 1;

// Texts of the language table.
enum : int { kTextOpen = 850, kTextClose = 851, kTextDisable = 852 };

// Where a window centred at (0, 0) goes instead: this far in from the screen's right and bottom edges.
constexpr int kDefaultInset = 250;
// Corner rounding of the outline, as the width of the corner ellipse.
constexpr int kCornerRounding = 12;
// Under a picture with transparent parts.
const QColor kBackdrop(15, 18, 24);
const QColor kEdge(255, 255, 255, 28);

QScreen* ScreenAt(const QPoint& point)
{
    QScreen* screen = QGuiApplication::screenAt(point);
    return screen ? screen : QGuiApplication::primaryScreen();
}

} // namespace

CPictureArtDlg::CPictureArtDlg(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint)
    , m_owner(owner)
    , m_lookup(this, kLookupDone)
{
    setWindowTitle(QStringLiteral("Kavrilune album art"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(kInitialSize, kInitialSize);
}

CPictureArtDlg::~CPictureArtDlg()
{
    // No result may arrive for a window that is going.
    m_lookup.Stop();
}

void CPictureArtDlg::ShowPictureFor(const QString& title)
{
    if (m_disabled)
        return;
    HideAnimated(kTitleFadeMs);
    if (title.isEmpty()) {
        // Nothing plays a song now: neither a waiting nor a running lookup may show a picture.
        m_lookup.DropPending();
        m_ticket = 0;
        return;
    }
    // The picture arrives scaled to the screen the window is on, at that screen's density.
    CPictureArtLookup::Display display;
    if (const QScreen* screen = ScreenAt(GetScreenCenter())) {
        display.area = screen->availableGeometry().size();
        display.pixelRatio = screen->devicePixelRatio();
    }
    m_ticket = m_lookup.Request(title, display);
}

void CPictureArtDlg::SetEnabled(bool enabled)
{
    m_disabled = !enabled;
    if (enabled)
        return;
    m_lookup.DropPending();
    m_ticket = 0;
    HideAnimated(kFadeMs);
}

QPoint CPictureArtDlg::GetScreenCenter() const
{
    const QRect area = geometry();
    return QPoint(area.x() + area.width() / 2, area.y() + area.height() / 2);
}

void CPictureArtDlg::MoveCenterTo(QPoint point)
{
    if (point.isNull()) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QSize size = screen ? screen->geometry().size() : QSize(800, 600);
        point = QPoint(size.width() - kDefaultInset, size.height() - kDefaultInset);
    }
    move(point.x() - width() / 2, point.y() - height() / 2);
}

void CPictureArtDlg::ResizeAroundCenter(int width, int height)
{
    const QPoint center = GetScreenCenter();
    setGeometry(center.x() - width / 2, center.y() - height / 2, width, height);
}

void CPictureArtDlg::OnCommand(int command)
{
    switch (command) {
    case kCommandOpen:
        OpenUrl(m_searchUrl);
        break;
    case kCommandClose:
        HideAnimated(kFadeMs);
        break;
    case kCommandDisable:
        m_disabled = true;
        m_lookup.DropPending();
        m_ticket = 0;
        if (m_owner)
            SendWindowMessage(m_owner, WM_KAVRILUNE_PICTURE_ART_DISABLE);
        HideAnimated(kFadeMs);
        break;
    default:
        break;
    }
}

bool CPictureArtDlg::event(QEvent* event)
{
    if (WindowMessage* message = AsWindowMessage(event); message && message->message() == kLookupDone) {
        for (CPictureArtLookup::Result& result : m_lookup.TakeResults())
            OnLookupDone(std::move(result));
        return true;
    }
    return QWidget::event(event);
}

void CPictureArtDlg::OnLookupDone(CPictureArtLookup::Result result)
{
    // A title that is no longer wanted (another one came, the station changed, pictures were
    // disabled) shows nothing.
    if (result.ticket == 0 || result.ticket != m_ticket)
        return;
    m_searchUrl = result.searchUrl;
    if (result.picture.isNull())
        return;
    m_picture = result.picture;
    const QSize size = m_picture.deviceIndependentSize().toSize().expandedTo(QSize(1, 1));
    ResizeAroundCenter(size.width(), size.height());
    update();
    if (!isVisible() && IsOwnerShown())
        CWindowFader::FadeIn(this, kFadeMs);
}

bool CPictureArtDlg::IsOwnerShown()
{
    return m_owner && SendWindowMessage(m_owner, WM_KAVRILUNE_PICTURE_ART_IS_VISIBLE) != 0;
}

void CPictureArtDlg::HideAnimated(int ms)
{
    if (isVisible())
        CWindowFader::FadeOut(this, ms);
}

// --- painting and the mouse ---

void CPictureArtDlg::resizeEvent(QResizeEvent* event)
{
    setMask(RoundedWindowRegion(size(), kCornerRounding));
    QWidget::resizeEvent(event);
}

void CPictureArtDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), kBackdrop);
    // The lookup scaled the picture to the window's size and density: drawn as it is.
    if (!m_picture.isNull())
        painter.drawImage(rect(), m_picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kEdge, 1));
    painter.setBrush(Qt::NoBrush);
    const qreal radius = kCornerRounding / 2.0;
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

void CPictureArtDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_drag.Begin(this, event->globalPosition().toPoint());
    QWidget::mousePressEvent(event);
}

void CPictureArtDlg::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.Move(event->globalPosition().toPoint());
    QWidget::mouseMoveEvent(event);
}

void CPictureArtDlg::mouseReleaseEvent(QMouseEvent* event)
{
    m_drag.End();
    QWidget::mouseReleaseEvent(event);
}

void CPictureArtDlg::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        OnCommand(kCommandOpen);
}

void CPictureArtDlg::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    const std::pair<int, int> items[]
        = { { kCommandOpen, kTextOpen }, { kCommandClose, kTextClose }, { kCommandDisable, kTextDisable } };
    for (const auto& [command, text] : items)
        menu.addAction(GetLangString(text))->setData(command);
    if (const QAction* chosen = menu.exec(event->globalPos()))
        OnCommand(chosen->data().toInt());
}
