#pragma once

#include "ui/desktop/TrayBackend.h"

#include <QStringList>

namespace ui_testing
{

// A notification area that records what the program shows in it, and lets a test click it.
class FakeTrayBackend : public ITrayBackend
{
public:
    struct Message {
        QString title;
        QString text;
        int timeoutMs;
    };

    bool IsAvailable() const override { return available; }
    void SetHandlers(Handlers newHandlers) override { handlers = std::move(newHandlers); }
    void Show() override { visible = true; }
    void Hide() override { visible = false; }
    void SetIcon(const QIcon& newIcon) override { icon = newIcon; }
    void SetToolTip(const QString& text) override { toolTip = text; }
    void ShowMessage(const QString& title, const QString& text, int timeoutMs) override
    {
        messages.push_back({ title, text, timeoutMs });
    }

    void Click() { handlers.activated(); }
    void RightClick() { handlers.contextMenu(); }
    void ClickMessage() { handlers.messageClicked(); }

    bool available = false;
    bool visible = false;
    QIcon icon;
    QString toolTip;
    std::vector<Message> messages;
    Handlers handlers;
};

} // namespace ui_testing
