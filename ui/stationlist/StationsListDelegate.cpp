#include "ui/stationlist/StationsListDelegate.h"

#include "stations/StationsListModel.h"

#include <QPainter>

void CStationsListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    const bool playing = index.data(CStationsListModel::kPlayingRole).toBool();
    painter->save();
    if (selected)
        painter->fillRect(option.rect, m_highlight);
    const QString text = index.data(Qt::DisplayRole).toString();
    if (!text.isEmpty()) {
        QFont font = option.font;
        font.setBold(playing);
        const QFontMetrics metrics(font);
        const int padding = 2 * metrics.horizontalAdvance(QLatin1Char(' '));
        QRect area = option.rect;
        area.adjust(index.column() == 0 ? padding / 2 : padding, 0, -padding, 0);
        if (area.width() > 0) {
            painter->setClipRect(option.rect);
            painter->setFont(font);
            painter->setPen(selected ? m_highlightText : (playing ? PlayingTextColor() : m_text));
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

QColor CStationsListDelegate::PlayingTextColor() const
{
    // The highlight's hue, opaque, so the playing station stands out without looking selected.
    QColor color = m_highlight;
    color.setAlpha(255);
    return color.lightnessF() < 0.55 && m_text.lightnessF() > 0.5 ? color.lighter(150) : color;
}
