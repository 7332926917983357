#include "ui/desktop/DropTarget.h"

#include "ui/skin/SkinPackage.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

bool CDropTarget::Register(QWidget* window)
{
    if (!window)
        return false;
    m_zone = window;
    m_window = window;
    m_skinPackagesOnly = false;
    window->setAcceptDrops(true);
    // A box or a list that took drops itself would keep them from the window.
    for (QWidget* child : window->findChildren<QWidget*>())
        child->setAcceptDrops(false);
    window->installEventFilter(this);
    return true;
}

bool CDropTarget::RegisterSkinPackageZone(QWidget* zone, QObject* window)
{
    if (!zone || !window || !Register(zone))
        return false;
    m_window = window;
    m_skinPackagesOnly = true;
    return true;
}

QString CDropTarget::FirstLocalFile(const QMimeData* data, bool& hasLocalFiles)
{
    hasLocalFiles = false;
    if (!data->hasUrls())
        return {};
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        hasLocalFiles = true;
        const QString path = url.toLocalFile();
        if (!path.isEmpty())
            return path;
    }
    return {};
}

bool CDropTarget::CanTake(const QMimeData* data)
{
    if (!data)
        return false;
    bool hasLocalFiles = false;
    if (!FirstLocalFile(data, hasLocalFiles).isEmpty())
        return true;
    return !hasLocalFiles && data->hasText();
}

bool CDropTarget::Takes(const QMimeData* data) const
{
    if (!m_skinPackagesOnly)
        return CanTake(data);
    bool hasLocalFiles = false;
    return data && HasSkinPackageEnding(FirstLocalFile(data, hasLocalFiles));
}

bool CDropTarget::OnDrop(const QMimeData* data)
{
    if (!data || !m_window || !Takes(data))
        return false;
    bool hasLocalFiles = false;
    const QString path = FirstLocalFile(data, hasLocalFiles);
    if (!path.isEmpty()) {
        if (QFile::encodeName(path).size() > kMaxPath)
            return false;
        SendWindowMessage(m_window, kDropFile, 0, LPARAM(&path));
        return true;
    }
    // A file list none of whose names can be read is refused, not played as text.
    return !hasLocalFiles && DropText(data);
}

bool CDropTarget::DropText(const QMimeData* data)
{
    if (!data->hasText())
        return false;
    const QString text = data->text().trimmed();
    if (text.isEmpty() || text.size() > kMaxText)
        return false;
    SendWindowMessage(m_window, kDropText, 0, LPARAM(&text));
    return true;
}

bool CDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_zone)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (Takes(drag->mimeData())) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (OnDrop(drop->mimeData())) {
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
        } else {
            drop->ignore();
        }
        return true;
    }
    default:
        return false;
    }
}
