#include "ui/StationsListDelegate.h"

#include <QPainter>

void CStationsListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    if (selected)
        painter->fillRect(option.rect, m_highlight);
    const QString text = index.data(Qt::DisplayRole).toString();
    if (!text.isEmpty()) {
        const QFontMetrics metrics(option.font);
        const int padding = 2 * metrics.horizontalAdvance(QLatin1Char(' '));
        QRect area = option.rect;
        area.adjust(index.column() == 0 ? padding / 2 : padding, 0, -padding, 0);
        if (area.width() > 0) {
            painter->setClipRect(option.rect);
            painter->setFont(option.font);
            painter->setPen(selected ? m_highlightText : m_text);
            painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                metrics.elidedText(text, Qt::ElideRight, area.width()));
        }
    }
    painter->restore();
}

void CStationsListDelegate::SetColors(const QColor& highlight, const QColor& highlightText, const QColor& text)
{
    m_highlight = highlight;
    m_highlightText = highlightText;
    m_text = text;
}
