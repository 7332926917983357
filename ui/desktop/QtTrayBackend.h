#pragma once

#include "ui/desktop/TrayBackend.h"

#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <optional>

// The desktop's notification area through QSystemTrayIcon. It never gets a context menu of its own:
// a right click is handed to the program, which opens its main menu.
//
// Asking whether a notification area exists costs blocking D-Bus round trips, so the answer is kept:
// it is asked again only after the icon was hidden, or when the desktop's
// status-notifier watcher or host comes or goes.
class CQtTrayBackend : public ITrayBackend
{
public:
    // probe answers whether a notification area exists (the desktop's own answer unless given).
    explicit CQtTrayBackend(std::function<bool()> probe = {});

    bool IsAvailable() const override;
    void SetHandlers(Handlers handlers) override;
    void Show() override;
    void Hide() override;
    void SetIcon(const QIcon& icon) override;
    void SetToolTip(const QString& text) override;
    void ShowMessage(const QString& title, const QString& text, int timeoutMs) override;

private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    void FollowDesktopChanges();

    std::function<bool()> m_probe;
    mutable std::optional<bool> m_available; // empty: to be asked
    std::unique_ptr<QObject> m_watch; // receives the desktop's change notices
    const bool m_markupMessages; // balloons are notifications whose text the desktop reads as markup
    QSystemTrayIcon m_icon;
    Handlers m_handlers;
};
