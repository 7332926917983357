#include "ui/controls/FilterBox.h"

#include "core/XMLSettings.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionComboBox>
#include <QWheelEvent>

namespace
{

const QString kSection = QStringLiteral("General");

QString HistoryKey(int index)
{
    return QStringLiteral("Filter_%1").arg(index);
}

// Whether light text reads better than dark text on a picture: its mean luminance is below the middle.
bool IsDark(const QPixmap& picture)
{
    if (picture.isNull())
        return false;
    const QImage sample = picture.toImage()
                              .scaled(8, 8, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .convertToFormat(QImage::Format_RGB32);
    int64_t sum = 0;
    for (int y = 0; y < sample.height(); ++y)
        for (int x = 0; x < sample.width(); ++x) {
            const QRgb pixel = sample.pixel(x, y);
            sum += 299 * qRed(pixel) + 587 * qGreen(pixel) + 114 * qBlue(pixel);
        }
    return sum / (1000 * int64_t(sample.width()) * sample.height()) < 128;
}

} // namespace

CFilterBox::CFilterBox(QWidget* parent)
    : QComboBox(parent)
    , CSkinnedControl(this)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    setFrame(false);
    setMaxVisibleItems(kHistorySize);
    lineEdit()->setFrame(false);
    lineEdit()->setAutoFillBackground(false);
    UpdateTextColors();
    connect(lineEdit(), &QLineEdit::textEdited, this, &CFilterBox::OnEditChange);
    connect(this, &QComboBox::activated, this, &CFilterBox::OnSelEndOk);
}

void CFilterBox::SetTarget(SearchTarget target)
{
    m_target = std::move(target);
    HandToTarget(currentText());
}

void CFilterBox::HandToTarget(const QString& text)
{
    if (m_target)
        m_target(text);
}

void CFilterBox::OnEditChange(const QString& text)
{
    HandToTarget(text);
}

void CFilterBox::OnSelEndOk(int index)
{
    const QString text = itemText(index);
    AddToHistory(text);
    HandToTarget(text);
}

void CFilterBox::OnKillFocus()
{
    AddToHistory(currentText());
    HandToTarget(currentText());
}

// Qt's combo box changes its edit text when items come and go; the history must not, so the text is
// put back after every change of the list.
void CFilterBox::AddToHistory(const QString& text)
{
    const QString entry = text.trimmed();
    if (entry.isEmpty())
        return;
    const QString edit = currentText();
    const int found = findText(entry, Qt::MatchFixedString);
    if (found < 0) {
        insertItem(0, entry);
        while (count() > kHistorySize)
            removeItem(count() - 1);
        setEditText(edit);
        return;
    }
    // The entry keeps the letters it was stored with, and the box shows them.
    const QString stored = itemText(found);
    removeItem(found);
    insertItem(0, stored);
    setCurrentIndex(0);
    setEditText(stored);
}

void CFilterBox::ClearHistory()
{
    const QString edit = currentText();
    clear();
    setEditText(edit);
}

QStringList CFilterBox::History() const
{
    QStringList entries;
    for (int i = 0; i < count(); ++i)
        entries << itemText(i);
    return entries;
}

void CFilterBox::SaveHistory(CXMLSettings& settings) const
{
    SaveHistory(settings, currentText(), History());
}

void CFilterBox::SaveHistory(CXMLSettings& settings, const QString& searchText, const QStringList& history)
{
    settings.SetString(kSection, QStringLiteral("Filter"), searchText);
    for (int i = 0; i < kHistorySize; ++i)
        settings.SetString(kSection, HistoryKey(i), i < history.size() ? history.at(i).trimmed() : QString());
}

void CFilterBox::LoadHistory(CXMLSettings& settings)
{
    clear();
    for (int i = 0; i < kHistorySize; ++i) {
        const QString entry = settings.GetString(kSection, HistoryKey(i), QString(), false).trimmed();
        if (!entry.isEmpty() && findText(entry, Qt::MatchFixedString) < 0)
            addItem(entry);
    }
    const QString search = settings.GetString(kSection, QStringLiteral("Filter"), QString(), false);
    setEditText(search);
    HandToTarget(search);
    update();
}

void CFilterBox::LoadSkin(CXMLSettings& skin, const QString& section, int x, int y, int width, int height)
{
    PlaceFromSkin(skin, section, x, y, width, height);
    ApplyVisibleKey(skin, section);
}

void CFilterBox::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    // Opening the drop-down moves the focus to it for a moment; that is not leaving the box.
    if (event->reason() != Qt::PopupFocusReason)
        OnKillFocus();
}

// The wheel never walks through the history.
void CFilterBox::wheelEvent(QWheelEvent* event)
{
    event->accept();
}

void CFilterBox::OnBackgroundChanged()
{
    UpdateTextColors();
}

void CFilterBox::UpdateTextColors()
{
    QPalette colors = lineEdit()->palette();
    colors.setColor(QPalette::Base, Qt::transparent);
    if (HasBackground()) {
        const bool dark = IsDark(Background());
        const QColor text = dark ? QColor(0xE6, 0xE9, 0xEF) : QColor(0x1C, 0x1F, 0x26);
        colors.setColor(QPalette::Text, text);
        QColor placeholder = text;
        placeholder.setAlpha(128);
        colors.setColor(QPalette::PlaceholderText, placeholder);
    }
    lineEdit()->setPalette(colors);
    update();
}

// The background copy (the skin draws the field) and a small drop-down chevron; the edit field draws
// the text over it.
void CFilterBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    DrawBackground(painter);
    painter.setRenderHint(QPainter::Antialiasing);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    QRect area = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this);
    if (area.isEmpty())
        area = QRect(width() - height(), 0, height(), height());
    const QPointF centre = QRectF(area).center();
    const qreal half = std::min<qreal>(3.5, height() / 5.0);
    QPainterPath chevron;
    chevron.moveTo(centre.x() - half, centre.y() - half / 2);
    chevron.lineTo(centre.x(), centre.y() + half / 2);
    chevron.lineTo(centre.x() + half, centre.y() - half / 2);
    QColor color = lineEdit()->palette().color(QPalette::Text);
    color.setAlpha(170);
    painter.setPen(QPen(color, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(chevron);
}
