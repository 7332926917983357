#include "ui/skin/WindowDrag.h"

#include <QWindow>

void CWindowDrag::Begin(QWidget* widget, const QPoint& globalPos)
{
    End();
    if (!widget)
        return;
    QWidget* window = widget->window();
    QWindow* handle = window->windowHandle();
    if (handle && handle->startSystemMove())
        return;
    m_window = window;
    m_offset = globalPos - window->pos();
    m_manual = true;
}

bool CWindowDrag::Move(const QPoint& globalPos)
{
    if (!m_manual)
        return false;
    if (!m_window) {
        End();
        return false;
    }
    m_window->move(globalPos - m_offset);
    return true;
}

void CWindowDrag::End()
{
    m_manual = false;
    m_window.clear();
}
