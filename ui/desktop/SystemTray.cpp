#include "ui/desktop/SystemTray.h"

#include "core/ErrorLog.h"

namespace
{

const int kTrayCommand = RegisterWindowMessage("WM_KAVRILUNE_TRAY_COMMAND");
const int kTrayBalloonClick = RegisterWindowMessage("WM_KAVRILUNE_TRAY_BALLOON_CLICK");
constexpr int kTooltipBalloonMs = 3000;
const QString kBalloonTitle = QStringLiteral("Kavrilune");

} // namespace

CSystemTray::CSystemTray(QObject* mainWindow, std::unique_ptr<ITrayBackend> backend)
    : m_mainWindow(mainWindow)
    , m_backend(std::move(backend))
{
    ITrayBackend::Handlers handlers;
    handlers.activated = [this] { Post(kTrayCommand, 0); };
    handlers.contextMenu = [this] { Post(WM_CONTEXTMENU, 0); };
    handlers.messageClicked = [this] { Post(kTrayBalloonClick, WPARAM(m_cookie)); };
    m_backend->SetHandlers(std::move(handlers));
    m_backend->Hide();
    Add();
}

CSystemTray::~CSystemTray()
{
    RemoveIcon();
    m_backend->SetHandlers({});
}

void CSystemTray::Add()
{
    m_added = true;
    m_backend->SetIcon(m_iconId ? QIcon(IconFile(m_iconId)) : QIcon());
    m_backend->SetToolTip(m_tip);
    m_backend->Show();
}

bool CSystemTray::SetIcon(int iconId)
{
    m_iconId = iconId;
    m_backend->SetIcon(QIcon(IconFile(iconId)));
    if (m_added)
        m_backend->Show();
    return m_backend->IsAvailable();
}

bool CSystemTray::SetTooltip(const QString& text, bool showBalloon)
{
    m_tip = CutText(text, kMaxTip);
    m_cookie = 0;
    m_backend->SetToolTip(m_tip);
    if (showBalloon)
        m_backend->ShowMessage(kBalloonTitle, m_tip, kTooltipBalloonMs);
    return m_backend->IsAvailable();
}

bool CSystemTray::ShowBalloon(const QString& text, int seconds, bool /*realTime*/, int cookie)
{
    m_cookie = cookie;
    m_backend->ShowMessage(kBalloonTitle, CutText(text, kMaxBalloon), seconds * 1000);
    return m_backend->IsAvailable();
}

bool CSystemTray::RemoveIcon()
{
    m_added = false;
    m_backend->Hide();
    return m_backend->IsAvailable();
}

void CSystemTray::Recreate()
{
    RemoveIcon();
    Add();
}

void CSystemTray::Post(int message, WPARAM wParam)
{
    PostWindowMessage(m_mainWindow.data(), message, wParam, 0);
}

QString CSystemTray::IconFile(int iconId)
{
    return GetAppFolder()
        + (iconId == kIconRecording ? QStringLiteral("icons/TrayRecording.png") : QStringLiteral("icons/Tray.png"));
}

QString CSystemTray::CutText(const QString& text, int maxLength)
{
    if (text.size() <= maxLength)
        return text;
    int length = maxLength;
    if (length > 0 && text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}
