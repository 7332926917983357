#pragma once

#include "ui/skin/WindowDrag.h"
#include "ui/windows/PictureArtLookup.h"

#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <cstdint>

// The album-art window: a small borderless window beside the main window that shows a picture for the
// song playing. Each new title is looked up on the image-search host (CPictureArtLookup); a picture
// found sizes the window around its centre (never beyond the screen) and fades it in while the main
// window is shown. A title change hides it until the next picture arrives. Its menu opens the search
// page, closes the window or disables the pictures (the owner is told, and saves the choice).
//
// UI thread only; the lookup's worker keeps its results and posts a message for the window to take them.
class CPictureArtDlg : public QWidget
{
    Q_OBJECT

public:
    // The menu's commands.
    enum Command { kCommandOpen = 1, kCommandClose = 2, kCommandDisable = 3 };

    // owner: the main window, which answers WM_KAVRILUNE_PICTURE_ART_IS_VISIBLE and handles
    // WM_KAVRILUNE_PICTURE_ART_DISABLE.
    explicit CPictureArtDlg(QWidget* owner);
    ~CPictureArtDlg() override;

    // Hides the window and, unless the title is empty, looks up a picture for it. Nothing while
    // disabled.
    void ShowPictureFor(const QString& title);
    // Disabling hides a visible window and forgets the lookups under way.
    void SetEnabled(bool enabled);
    bool IsDisabled() const { return m_disabled; }

    // The centre of the window on the screen.
    QPoint GetScreenCenter() const;
    // Moves the window, keeping its size, so that its centre lies on point; (0, 0) stands for 250
    // pixels in from the right and bottom edges of the screen.
    void MoveCenterTo(QPoint point);
    void ResizeAroundCenter(int width, int height);

    void OnCommand(int command);

    QString SearchPageUrl() const { return m_searchUrl; }
    const QImage& Picture() const { return m_picture; }
    CPictureArtLookup& Lookup() { return m_lookup; }

    static constexpr int kInitialSize = 150;
    static constexpr int kTitleFadeMs = 150;
    static constexpr int kFadeMs = 300;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void OnLookupDone(CPictureArtLookup::Result result);
    bool IsOwnerShown();
    void HideAnimated(int ms);

    QWidget* m_owner;
    bool m_disabled = false;
    uint64_t m_ticket = 0; // the lookup whose picture is wanted; 0 for none
    QString m_searchUrl;
    QImage m_picture; // at the window's size and pixel density
    CWindowDrag m_drag;
    CPictureArtLookup m_lookup; // last: its worker is stopped before the rest goes
};
