#include "ui/skin/MenuStyle.h"

#include <QColor>
#include <QMenu>

namespace
{

QString Rgba(const QColor& color)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)").arg(color.red()).arg(color.green()).arg(color.blue()).arg(color.alpha());
}

QColor WithAlpha(QColor color, int alpha)
{
    color.setAlpha(alpha);
    return color;
}

} // namespace

QString MenuStyleSheet(const QPalette& colors)
{
    const QColor base = colors.color(QPalette::Base);
    const bool dark = base.lightnessF() < 0.5;
    const QColor panel = dark ? base.lighter(135) : base;
    const QColor text = colors.color(QPalette::Text);
    QColor highlight = colors.color(QPalette::Highlight);
    highlight.setAlpha(255);
    return QStringLiteral("QMenu { background: %1; color: %2; border: 1px solid %3; padding: 5px 0; }"
                          "QMenu::item { padding: 5px 28px 5px 28px; background: transparent; }"
                          "QMenu::item:selected { background: %4; color: %5; }"
                          "QMenu::item:disabled { color: %6; }"
                          "QMenu::separator { height: 1px; background: %7; margin: 5px 12px; }"
                          "QMenu::indicator { width: 14px; height: 14px; left: 8px; }")
        .arg(Rgba(panel), Rgba(text), Rgba(WithAlpha(text, dark ? 45 : 60)), Rgba(highlight),
            Rgba(colors.color(QPalette::HighlightedText)), Rgba(WithAlpha(text, 110)), Rgba(WithAlpha(text, 35)));
}

void StyleMenuOf(const QWidget& window, QObject* object)
{
    auto* menu = qobject_cast<QMenu*>(object);
    if (!menu)
        return;
    const QWidget* owner = menu->parentWidget();
    while (owner && owner != &window)
        owner = owner->parentWidget();
    if (!owner)
        return;
    const QString sheet = MenuStyleSheet(window.palette());
    if (menu->styleSheet() != sheet)
        menu->setStyleSheet(sheet);
}
