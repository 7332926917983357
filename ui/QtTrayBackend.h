#pragma once

#include "ui/TrayBackend.h"

#include <QSystemTrayIcon>

// The desktop's notification area through QSystemTrayIcon. It never gets a context menu of its own:
// a right click is handed to the program, which opens its main menu.
class CQtTrayBackend : public ITrayBackend
{
public:
    CQtTrayBackend();

    bool IsAvailable() const override;
    void SetHandlers(Handlers handlers) override;
    void Show() override;
    void Hide() override;
    void SetIcon(const QIcon& icon) override;
    void SetToolTip(const QString& text) override;
    void ShowMessage(const QString& title, const QString& text, int timeoutMs) override;

private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    const bool m_markupMessages; // balloons are notifications whose text the desktop reads as markup
    QSystemTrayIcon m_icon;
    Handlers m_handlers;
};
