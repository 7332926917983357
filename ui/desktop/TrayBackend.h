#pragma once

#include <QIcon>
#include <QString>
#include <functional>

// What the tray icon needs from the desktop's notification area. The program uses the desktop's own
// (CQtTrayBackend); tests record the calls instead.
class ITrayBackend
{
public:
    struct Handlers {
        std::function<void()> activated; // a plain click
        std::function<void()> contextMenu; // a right click
        std::function<void()> messageClicked; // a click on the last balloon
    };

    virtual ~ITrayBackend() = default;

    // Whether the desktop has a notification area at all.
    virtual bool IsAvailable() const = 0;
    virtual void SetHandlers(Handlers handlers) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void SetIcon(const QIcon& icon) = 0;
    virtual void SetToolTip(const QString& text) = 0;
    virtual void ShowMessage(const QString& title, const QString& text, int timeoutMs) = 0;
};
