#pragma once

#include "tests/support/MessageRecorder.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>

#include <functional>
#include <vector>

namespace ui_testing
{

inline void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "kavrilune_ui_tests";
    static char* argv[] = { name, nullptr };
    if (!QApplication::instance())
        new QApplication(argc, argv);
}

// Answers modal dialogs of one class as they come up, one scripted step per showing. Each step must
// close the dialog it is given.
template <typename Dialog> class DialogScript
{
public:
    explicit DialogScript(std::vector<std::function<void(Dialog*)>> steps)
        : m_steps(std::move(steps))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            ++shown;
            if (m_next == m_steps.size()) {
                dialog->reject();
                return;
            }
            m_steps[m_next++](dialog);
        });
        m_timer.start(5);
    }

    int shown = 0; // showings handled so far
private:
    std::vector<std::function<void(Dialog*)>> m_steps;
    size_t m_next = 0;
    QTimer m_timer;
};

// Chooses from the next popup menu: pick gets the menu and returns the action to trigger, or null to
// dismiss it.
class PopupScript
{
public:
    explicit PopupScript(std::function<QAction*(QMenu*)> pick)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this, pick] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu || !menu->isVisible())
                return;
            m_timer.stop();
            QAction* action = pick(menu);
            if (!action) {
                menu->close();
                return;
            }
            menu->setActiveAction(action);
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(menu, &enter);
        });
        m_timer.start(5);
    }

private:
    QTimer m_timer;
};

inline QAction* ActionByText(QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

inline QStringList ActionTexts(QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions())
        texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

} // namespace ui_testing
