#include "ui/QtTrayBackend.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QTextDocument>

namespace
{

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

// Whether a session bus can be reached without starting one.
bool SessionBusKnown()
{
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFile::exists(runtime + QStringLiteral("/bus"));
}

// Whether the icon lives with a status-notifier host on the session bus, as Qt decides it when the icon
// is made: its balloons are then the desktop's notifications, whose text is read as markup, and so is
// the description of the icon's tooltip while a balloon shows.
bool UsesStatusNotifierHost()
{
    if (!SessionBusKnown())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kWatcher))
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(kWatcher, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kWatcher << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage
        && reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
}

} // namespace

CQtTrayBackend::CQtTrayBackend()
    : m_markupMessages(UsesStatusNotifierHost())
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
    // The notification area's own tooltip takes text that looks like markup for markup; said as
    // markup, it shows as it is.
    const bool guessed = !m_markupMessages && Qt::mightBeRichText(text);
    m_icon.setToolTip(guessed ? Qt::convertFromPlainText(text) : text);
}

void CQtTrayBackend::ShowMessage(const QString& title, const QString& text, int timeoutMs)
{
    if (!m_icon.isVisible())
        return;
    // Song and station names come from the network: they show as they are, never as markup.
    m_icon.showMessage(title, m_markupMessages ? text.toHtmlEscaped() : text, QSystemTrayIcon::Information, timeoutMs);
}

void CQtTrayBackend::OnActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger && m_handlers.activated)
        m_handlers.activated();
    else if (reason == QSystemTrayIcon::Context && m_handlers.contextMenu)
        m_handlers.contextMenu();
}
