#include "ui/desktop/QtTrayBackend.h"

#include "ui/desktop/SessionBusAddress.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QTextDocument>

namespace
{

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

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

// Hands the desktop's notices that a notification area came or went to a function.
class ChangeNotices : public QObject
{
    Q_OBJECT
public:
    explicit ChangeNotices(std::function<void()> changed)
        : m_changed(std::move(changed))
    {
    }

public slots:
    void Changed() { m_changed(); }

private:
    std::function<void()> m_changed;
};

} // namespace

CQtTrayBackend::CQtTrayBackend(std::function<bool()> probe)
    : m_probe(probe ? std::move(probe) : std::function<bool()>(&QSystemTrayIcon::isSystemTrayAvailable))
    , m_markupMessages(UsesStatusNotifierHost())
{
    FollowDesktopChanges();
    QObject::connect(&m_icon, &QSystemTrayIcon::activated, &m_icon,
        [this](QSystemTrayIcon::ActivationReason reason) { OnActivated(reason); });
    QObject::connect(&m_icon, &QSystemTrayIcon::messageClicked, &m_icon, [this] {
        if (m_handlers.messageClicked)
            m_handlers.messageClicked();
    });
}

void CQtTrayBackend::FollowDesktopChanges()
{
    if (!SessionBusKnown())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    auto* notices = new ChangeNotices([this] { m_available.reset(); });
    m_watch.reset(notices);
    auto* watcher = new QDBusServiceWatcher(kWatcher, bus,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration, notices);
    QObject::connect(watcher, &QDBusServiceWatcher::serviceRegistered, notices, &ChangeNotices::Changed);
    QObject::connect(watcher, &QDBusServiceWatcher::serviceUnregistered, notices, &ChangeNotices::Changed);
    // A host (the panel that draws the icons) comes and goes while the watcher stays.
    for (const char* member : { "StatusNotifierHostRegistered", "StatusNotifierHostUnregistered" })
        bus.connect(QString(), QStringLiteral("/StatusNotifierWatcher"), kWatcher, QString::fromLatin1(member), notices,
            SLOT(Changed()));
}

bool CQtTrayBackend::IsAvailable() const
{
    if (!m_available)
        m_available = m_probe();
    return *m_available;
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
    // A notification area may come or go while the icon is away: it is asked again once it is back.
    m_available.reset();
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

#include "QtTrayBackend.moc"
