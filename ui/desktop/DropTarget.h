#pragma once

#include "core/WindowMessage.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QMimeData;
class QWidget;

// Text and files dragged onto the main window from other programs. A drop offering a local file hands
// the first file's path to the window (kDropFile), anything else with text hands the text (kDropText);
// the message's lParam points at the QString for the time of the call. The
// window's own controls do not take drops, so a drop anywhere on the window reaches it.
//
// UI thread only.
class CDropTarget : public QObject
{
public:
    // The messages a drop is handed on with; lParam points at the QString of the text or path for the
    // time of the call. Plain numbers, never registered by name, so that no message name another
    // process may send can ever stand for one of them.
    static constexpr int kDropText = WM_USER + 20;
    static constexpr int kDropFile = WM_USER + 21;

    // Longest text and path handed on; longer ones are refused rather than cut, so that nothing else
    // than what was dropped is played or installed.
    static constexpr int kMaxText = 1999; // characters
    static constexpr int kMaxPath = 4095; // bytes in the file system's encoding

    // Remembers the window to notify and lets it (and only it) accept drops.
    bool Register(QWidget* window);
    // Lets the zone (and only it, not its children) accept dropped skin packages and hands each to the
    // window as a drop of its own (WM_KAVRILUNE_DROP_FILE), so that it is installed as there.
    bool RegisterSkinPackageZone(QWidget* zone, QObject* window);

    // Whether a drag of this data would be taken by a window.
    static bool CanTake(const QMimeData* data);
    // Hands the dropped data to the window; false when there was nothing it can take.
    bool OnDrop(const QMimeData* data);
    bool DropText(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The first local file's path; empty when the data holds no local file.
    static QString FirstLocalFile(const QMimeData* data, bool& hasLocalFiles);

    // Whether a drag of this data is taken here.
    bool Takes(const QMimeData* data) const;

    QPointer<QWidget> m_zone;
    QPointer<QObject> m_window;
    bool m_skinPackagesOnly = false;
};
