#include "ui/QtTrayBackend.h"

CQtTrayBackend::CQtTrayBackend()
{
    QObject::connect(&m_icon, &QSystemTrayIcon::activated, &m_icon,
        [this](QSystemTrayIcon::ActivationReason reason) { OnActivated(reason); });
    QObject::connect(&m_icon, &QSystemTrayIcon::messageClicked, &m_icon, [this] {
        if (m_handlers.messageClicked)
            m_handlers.messageClicked();
    });
}

bool CQtTrayBackend::IsAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void CQtTrayBackend::SetHandlers(Handlers handlers)
{
    m_handlers = std::move(handlers);
}

void CQtTrayBackend::Show()
{
    if (!m_icon.icon().isNull())
        m_icon.show();
}

void CQtTrayBackend::Hide()
{
    m_icon.hide();
}

void CQtTrayBackend::SetIcon(const QIcon& icon)
{
    m_icon.setIcon(icon);
}

void CQtTrayBackend::SetToolTip(const QString& text)
{
    m_icon.setToolTip(text);
}

void CQtTrayBackend::ShowMessage(const QString& title, const QString& text, int timeoutMs)
{
    if (m_icon.isVisible())
        m_icon.showMessage(title, text, QSystemTrayIcon::Information, timeoutMs);
}

void CQtTrayBackend::OnActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger && m_handlers.activated)
        m_handlers.activated();
    else if (reason == QSystemTrayIcon::Context && m_handlers.contextMenu)
        m_handlers.contextMenu();
}
