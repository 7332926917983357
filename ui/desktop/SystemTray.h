#pragma once

#include "core/WindowMessage.h"
#include "ui/desktop/TrayBackend.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

// Asks the main window for its main menu (a right click on the tray icon).
constexpr int WM_CONTEXTMENU = WM_USER + 123;

// The program's one icon in the notification area: a tooltip (the program name or the current title),
// an image that shows whether a recording runs, balloons for news, and clicks handed to the main window
// as posted messages: a click posts WM_KAVRILUNE_TRAY_COMMAND, a right click WM_CONTEXTMENU, and a
// click on a balloon WM_KAVRILUNE_TRAY_BALLOON_CLICK with the number given with that balloon (0 once
// the tooltip changed since).
//
// On a desktop without a notification area every operation returns false and keeps its state, so the
// icon appears as it was last set once Recreate runs on a desktop that has one. UI thread only.
class CSystemTray
{
public:
    static constexpr int kIconNormal = 147;
    static constexpr int kIconRecording = 185;
    static constexpr int kMaxTip = 127; // characters
    static constexpr int kMaxBalloon = 255;

    // Adds the (still empty) icon. mainWindow receives the posted messages.
    CSystemTray(QObject* mainWindow, std::unique_ptr<ITrayBackend> backend);
    ~CSystemTray();

    CSystemTray(const CSystemTray&) = delete;
    CSystemTray& operator=(const CSystemTray&) = delete;

    // The image of kIconNormal or kIconRecording.
    bool SetIcon(int iconId);
    // The tip, cut to kMaxTip characters; with showBalloon the same text shows as a balloon for 3 s.
    // Forgets the number of the last balloon.
    bool SetTooltip(const QString& text, bool showBalloon);
    // A balloon of up to kMaxBalloon characters; cookie comes back with a click on it.
    bool ShowBalloon(const QString& text, int seconds, bool realTime, int cookie);
    bool RemoveIcon();
    // Removes the icon and adds it again with the last image and tip.
    void Recreate();

    QString Tooltip() const { return m_tip; }
    int IconId() const { return m_iconId; }
    int Cookie() const { return m_cookie; }
    bool IsAdded() const { return m_added; }
    ITrayBackend& Backend() { return *m_backend; }

    // The file of an icon id in the program folder.
    static QString IconFile(int iconId);
    // The first maxLength characters of text, never ending inside a surrogate pair.
    static QString CutText(const QString& text, int maxLength);

private:
    void Add();
    void Post(int message, WPARAM wParam);

    QPointer<QObject> m_mainWindow;
    std::unique_ptr<ITrayBackend> m_backend;
    QString m_tip;
    int m_iconId = 0;
    int m_cookie = 0;
    bool m_added = false;
};
