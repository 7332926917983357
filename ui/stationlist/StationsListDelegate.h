#pragma once

#include <QColor>
#include <QStyledItemDelegate>

// Draws the station list's cells: the selected row filled with the skin's highlight colour (which may be
// translucent over the list's background), texts in one line with an ellipsis where they do not fit,
// padded by two blanks' width (half of that on the left of the first column). The playing station's
// row is drawn in bold.
class CStationsListDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    void SetColors(const QColor& highlight, const QColor& highlightText, const QColor& text);
    const QColor& HighlightColor() const { return m_highlight; }
    const QColor& HighlightTextColor() const { return m_highlightText; }
    const QColor& TextColor() const { return m_text; }
    // The text of the playing station's row when it is not selected.
    QColor PlayingTextColor() const;

private:
    QColor m_highlight;
    QColor m_highlightText;
    QColor m_text;
};
