#include "ui/stationlist/StationsListCtrl.h"

#include "core/Localization.h"
#include "core/MessageBox.h"
#include "core/XMLSettings.h"
#include "stations/StationsListModel.h"
#include "stations/StationsListWorker.h"
#include "ui/skin/SkinValues.h"
#include "ui/stationlist/StationDlg.h"
#include "ui/stationlist/StationsListDelegate.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionFocusRect>

#include "core/CharUpper.h"

namespace
{

// Texts of the language table.
constexpr int kTextPlay = 101;
constexpr int kTextDetails = 205;
constexpr int kTextAddNew = 206;
constexpr int kTextDelete = 207;
constexpr int kTextSelectStation = 208;
constexpr int kTextCannotChange = 209;
constexpr int kTextQuestionDelete = 210;
constexpr int kTextCannotDelete = 211;
constexpr int kTextRemoveFilter = 212;
constexpr int kTextOwnStationsOnly = 213;
constexpr int kTextFirstColumnTitle = 214;
constexpr int kTextSameName = 219;
constexpr int kTextSaveError = 220;
constexpr int kTextSelectSource = 221;

// Leaves the country, genre and language columns room for their words in the built-in skins' lists.
constexpr int kDefaultFirstColumnWidth = 160;
constexpr int kDefaultColumnWidth = 62;
constexpr int kMinimumLoadedWidth = 8;
constexpr int kMinimumFittedWidth = 10;

// A menu taller than the screen scrolls instead of growing columns (the genre menu lists hundreds).
class ScrollableMenuStyle : public QProxyStyle
{
public:
    int styleHint(
        StyleHint hint, const QStyleOption* option, const QWidget* widget, QStyleHintReturn* returnData) const override
    {
        if (hint == SH_Menu_Scrollable)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QString MenuText(QString text)
{
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// Clears a flag when the scope ends, however it ends.
struct ScopedFlag {
    explicit ScopedFlag(bool& flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~ScopedFlag() { m_flag = false; }
    bool& m_flag;
};

int Clamped(int value, int low)
{
    return std::clamp(value, low, kSkinMaxCoordinate);
}

} // namespace

CStationsListCtrl::CStationsListCtrl(QObject* owner, QWidget* parent)
    : QTableView(parent)
    , m_owner(owner)
{
    m_model = new CStationsListModel(m_catalogue, this);
    m_delegate = new CStationsListDelegate(this);
    setModel(m_model);
    setItemDelegate(m_delegate);

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);

    QHeaderView* header = horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(kMinimumLoadedWidth);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSortIndicatorShown(true);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    for (int i = 0; i < CStationsListModel::kColumns; ++i)
        header->resizeSection(i, i == 0 ? kDefaultFirstColumnWidth : kDefaultColumnWidth);
    connect(header, &QHeaderView::sectionClicked, this, &CStationsListCtrl::OnColumnClick);
    connect(header, &QHeaderView::customContextMenuRequested, this, &CStationsListCtrl::OnHeaderContextMenu);
    connect(header, &QHeaderView::sectionResized, this, [this](int column) { OnSectionResized(column); });
    connect(header, &QHeaderView::sectionMoved, this, [this](int column) { OnSectionResized(column); });

    viewport()->setAutoFillBackground(false);
    const QPalette system = QApplication::palette(this);
    m_bkColor = system.color(QPalette::Base);
    m_delegate->SetColors(
        system.color(QPalette::Highlight), system.color(QPalette::HighlightedText), system.color(QPalette::Text));
    // Rows draw their selection themselves, in the skin's colour, which may be translucent.
    QPalette rows = palette();
    rows.setColor(QPalette::Highlight, Qt::transparent);
    setPalette(rows);
    header->setPalette(system);
    UpdateSortIndicator();

    m_worker = std::make_unique<CStationsListWorker>(m_catalogue, m_owner, WM_STATIONS_LIST_DONE);
}

CStationsListCtrl::~CStationsListCtrl()
{
    Stop();
}

void CStationsListCtrl::Init(const QString& databasePattern, const QString& userFilePath)
{
    m_catalogue.SetFiles(databasePattern, userFilePath);
    InitColumns();
}

void CStationsListCtrl::Stop()
{
    m_catalogue.SetClosing();
    m_worker->Stop();
    ClearStations();
}

void CStationsListCtrl::ClearStations()
{
    m_catalogue.ClearStations();
    m_model->SetRowCount(0);
}

int CStationsListCtrl::FindTitleIndex(const QString& title)
{
    CStationCatalogue::Lock lock = m_catalogue.LockForLookup();
    return lock.owns_lock() ? m_catalogue.FindTitleIndex(title) : -1;
}

int CStationsListCtrl::SelectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

bool CStationsListCtrl::GetSelectedStation(CStationItem& out, uint8_t sourceIndex)
{
    out.Reset();
    bool found = false;
    const int row = SelectedRow();
    if (row >= 0) {
        CStationCatalogue::Lock lock = m_catalogue.LockForLookup();
        const int index = lock.owns_lock() ? m_catalogue.VisibleIndex(row) : -1;
        if (index >= 0) {
            out = m_catalogue.Stations().Get(size_t(index));
            found = true;
        }
    }
    out.SetCurrentSource(sourceIndex);
    return found;
}

int CStationsListCtrl::GetVisibleCount() const
{
    return m_model->rowCount();
}

void CStationsListCtrl::ReloadCatalogue()
{
    Hide();
    m_catalogue.RequestReload();
    UpdateVisibility();
}

void CStationsListCtrl::AddUserStation()
{
    if (m_adding)
        return;
    ScopedFlag open(m_adding);
    CStationDlg dialog;
    CStationItem record;
    for (;;) {
        if (dialog.DoModal() != IDOK)
            return;
        dialog.GetItem(record);
        record.MarkAsUser();
        bool duplicate = false;
        bool saved = false;
        {
            // Held for the change and the save only, never across a dialog or a message box.
            CStationCatalogue::Lock lock = m_catalogue.LockUnbounded();
            // The user's file is rewritten from the catalogue, so the catalogue must hold it.
            m_catalogue.EnsureLoaded();
            duplicate = m_catalogue.FindTitleIndex(record.GetTitle()) >= 0;
            if (!duplicate && m_catalogue.MergeStation(record)) {
                saved = m_catalogue.SaveUserStations();
                if (!saved) {
                    // Not in the file, so not in the catalogue either: a retry must not meet it.
                    const int index = m_catalogue.FindUserStation(record);
                    if (index >= 0)
                        m_catalogue.RemoveAt(index);
                }
            }
        }
        if (duplicate) {
            MessageBox(GetLangString(kTextSameName), QString(), MB_OK | MB_ICONINFORMATION);
            continue;
        }
        if (saved) {
            RestartWorker();
            return;
        }
        if (MessageBox(GetLangString(kTextSaveError), QString(), MB_YESNOCANCEL | MB_ICONERROR) == IDYES)
            continue;
        RestartWorker();
        return;
    }
}

void CStationsListCtrl::EditStation(CStationItem& record)
{
    if (m_editing)
        return;
    ScopedFlag open(m_editing);
    CStationDlg dialog;
    dialog.SetItem(record);
    if (dialog.DoModal() != IDOK)
        return;
    if (!record.IsUserStation()) {
        MessageBox(GetLangString(kTextCannotChange), QString(), MB_OK | MB_ICONINFORMATION);
        return;
    }
    const CStationItem original = record;
    dialog.GetItem(record);
    {
        CStationCatalogue::Lock lock = m_catalogue.LockUnbounded();
        m_catalogue.EnsureLoaded();
        // The record may be a copy (the playing station, the selected row): the change goes to the
        // catalogue's own record, which then moves to its place in title order.
        const int index = m_catalogue.FindUserStation(original);
        if (index >= 0) {
            CStationItem changed;
            dialog.GetItem(changed);
            m_catalogue.Replace(index, changed);
            m_catalogue.Reposition(index);
        }
        m_catalogue.SaveUserStations();
    }
    viewport()->update();
    RestartWorker();
}

void CStationsListCtrl::EditSelected()
{
    CStationItem station;
    if (GetSelectedStation(station, 0))
        EditStation(station);
}

bool CStationsListCtrl::DeleteUserStation()
{
    CStationItem station;
    if (!GetSelectedStation(station, 0))
        return false;
    if (!station.IsUserStation()) {
        MessageBox(GetLangString(kTextCannotDelete), QString(), MB_OK | MB_ICONINFORMATION);
        return false;
    }
    QString question = GetLangString(kTextQuestionDelete);
    question.replace(QStringLiteral("%s"), station.GetTitle());
    if (MessageBox(question, QString(), MB_YESNOCANCEL | MB_ICONQUESTION) == IDYES) {
        {
            CStationCatalogue::Lock lock = m_catalogue.LockUnbounded();
            m_catalogue.EnsureLoaded();
            const int index = m_catalogue.FindUserStation(station);
            if (index >= 0) {
                m_catalogue.RemoveAt(index);
                m_catalogue.SaveUserStations();
            }
        }
        viewport()->update();
        RestartWorker();
    }
    return true;
}

void CStationsListCtrl::SetSearchText(const QString& text)
{
    const QString trimmed = TrimStationField(text);
    if (CompareStationText(trimmed, m_searchText) == 0)
        return;
    m_searchText = trimmed;
    m_filter.words = CStationFilter::SplitSearchWords(trimmed);
    RestartWorker();
}

void CStationsListCtrl::SetColumnFilter(int column, const QString& value)
{
    if (column < 0 || column >= CStationsListModel::kColumns)
        return;
    const int field = CStationsListModel::ColumnField(column);
    m_filter.columnFilters[size_t(field)] = CharUpper(value);
    InitColumns();
    RestartWorker();
}

void CStationsListCtrl::SetOwnStationsOnly(bool ownOnly)
{
    m_filter.ownStationsOnly = ownOnly;
    RestartWorker();
}

void CStationsListCtrl::OnColumnClick(int column)
{
    if (column < 0 || column >= CStationsListModel::kColumns)
        return;
    setFocus();
    const int field = CStationsListModel::ColumnField(column);
    if (field == m_filter.sortColumn) {
        m_filter.ascending = !m_filter.ascending;
    } else {
        m_filter.sortColumn = field;
        m_filter.ascending = true;
    }
    if (m_filter.HasFilter(field)) {
        m_filter.columnFilters[size_t(field)].clear();
        InitColumns();
    }
    UpdateSortIndicator();
    RestartWorker();
}

void CStationsListCtrl::RestartWorker()
{
    m_worker->SetFilter(m_filter);
    m_worker->Restart();
}

void CStationsListCtrl::SetActive(bool active)
{
    // A list shown again reads the files afresh, however soon that happens.
    if (!active)
        m_catalogue.RequestReload();
    m_worker->SetActive(active);
}

void CStationsListCtrl::SetPlayingSource(const QString& url)
{
    m_model->SetPlayingSource(url);
    viewport()->update();
}

void CStationsListCtrl::Refresh()
{
    m_model->SetRowCount(m_catalogue.PublishedVisibleCount());
    UpdateSortIndicator();
    FitColumns(-1);
    viewport()->update();
}

void CStationsListCtrl::UpdateVisibility()
{
    if (m_skinVisible) {
        show();
        SetActive(true);
        RestartWorker();
        repaint();
    } else if (m_worker->IsActive()) {
        Hide();
    }
}

void CStationsListCtrl::Hide()
{
    hide();
    SetActive(false);
    RestartWorker();
}

void CStationsListCtrl::ShowIfNeeded(bool show)
{
    if (show) {
        if (isHidden())
            UpdateVisibility();
    } else if (!isHidden()) {
        Hide();
    }
}

void CStationsListCtrl::LoadSkin(CXMLSettings& skin, const QString& section, const QRect& defaultRect)
{
    const QPalette colors = QApplication::palette(this);
    const QColor highlight = QColor::fromRgba(
        skin.GetColorArgb(section, QStringLiteral("HighLightColor"), colors.color(QPalette::Highlight).rgb()));
    const QColor highlightText = ColorFromBgr(skin.GetColor(
        section, QStringLiteral("HighLightTextColor"), BgrFromColor(colors.color(QPalette::HighlightedText))));
    const QColor text
        = ColorFromBgr(skin.GetColor(section, QStringLiteral("TextColor"), BgrFromColor(colors.color(QPalette::Text))));
    m_delegate->SetColors(highlight, highlightText, text);
    SetBkColor(ColorFromBgr(skin.GetColor(section, QStringLiteral("BkColor"), BgrFromColor(m_bkColor))));
    m_transparent = skin.GetInt(section, QStringLiteral("Transparent"), 0, true) != 0;
    if (!m_transparent)
        m_background = QPixmap();

    const RECT rect
        = skin.GetRect(section, defaultRect.x(), defaultRect.y(), defaultRect.width(), defaultRect.height());
    setGeometry(SkinRectWithin(QRect(Clamped(rect.left, 0), Clamped(rect.top, 0), Clamped(rect.right - rect.left, 0),
                                   Clamped(rect.bottom - rect.top, 0)),
        this));

    m_skinVisible = skin.GetInt(section, QStringLiteral("visible"), 1, true) == 1;
    if (m_skinVisible)
        UpdateVisibility();
    else
        Hide();
    FitColumns(-1);
    viewport()->update();
}

void CStationsListCtrl::CaptureBackground(const QPixmap& windowSurface)
{
    if (!m_transparent || windowSurface.isNull()) {
        m_background = QPixmap();
        return;
    }
    const qreal ratio = windowSurface.devicePixelRatio();
    const QRect area = geometry();
    m_background = windowSurface.copy(QRectF(QPointF(area.topLeft()) * ratio, QSizeF(area.size()) * ratio).toRect());
    m_background.setDevicePixelRatio(ratio);
    viewport()->update();
}

void CStationsListCtrl::SetBkColor(const QColor& color)
{
    m_bkColor = color;
    QPalette colors = viewport()->palette();
    colors.setColor(QPalette::Base, color);
    viewport()->setPalette(colors);
    viewport()->update();
}

void CStationsListCtrl::LoadColumnWidths(CXMLSettings& settings, const QString& section)
{
    QHeaderView* header = horizontalHeader();
    {
        ScopedFlag fitting(m_fitting);
        for (int i = 0; i < header->count(); ++i) {
            const int width = settings.GetInt(section, QStringLiteral("ColumnWidth%1").arg(i),
                i == 0 ? kDefaultFirstColumnWidth : kDefaultColumnWidth, false);
            header->resizeSection(i, std::max(width, kMinimumLoadedWidth));
        }
    }
    FitColumns(-1);
    header->viewport()->update();
    viewport()->update();
}

void CStationsListCtrl::SaveColumnWidths(CXMLSettings& settings, const QString& section)
{
    SaveColumnWidths(settings, section, ColumnWidths());
}

QList<int> CStationsListCtrl::ColumnWidths() const
{
    QList<int> widths;
    const QHeaderView* header = horizontalHeader();
    for (int i = 0; i < header->count(); ++i)
        widths.append(header->sectionSize(i));
    return widths;
}

void CStationsListCtrl::SaveColumnWidths(CXMLSettings& settings, const QString& section, const QList<int>& widths)
{
    for (int i = 0; i < widths.size(); ++i)
        settings.SetInt(section, QStringLiteral("ColumnWidth%1").arg(i), widths.at(i));
}

void CStationsListCtrl::InitColumns()
{
    for (int i = 0; i < CStationsListModel::kColumns; ++i) {
        QString title = GetLangString(kTextFirstColumnTitle + i);
        if (m_filter.HasFilter(CStationsListModel::ColumnField(i)))
            title.prepend(QStringLiteral("* "));
        m_model->SetColumnTitle(i, title);
    }
}

void CStationsListCtrl::FitColumns(int changedColumn)
{
    if (m_fitting)
        return;
    ScopedFlag fitting(m_fitting);
    QHeaderView* header = horizontalHeader();
    const int columns = std::min(header->count(), int(CStationsListModel::kColumns));
    const int pivot = changedColumn < 0 || changedColumn >= columns ? 0 : header->visualIndex(changedColumn);
    int kept = 0;
    int rest = 0;
    for (int i = 0; i < columns; ++i)
        (header->visualIndex(i) <= pivot ? kept : rest) += header->sectionSize(i);
    if (rest > 0) {
        const int available = viewport()->width() - kept;
        for (int i = 0; i < columns; ++i) {
            if (header->visualIndex(i) > pivot) {
                const int width = int(qint64(header->sectionSize(i)) * available / rest);
                header->resizeSection(i, std::max(width, kMinimumFittedWidth));
            }
        }
    }
    header->viewport()->update();
    viewport()->update();
}

void CStationsListCtrl::OnSectionResized(int column)
{
    if (!m_fitting)
        FitColumns(column);
}

void CStationsListCtrl::UpdateSortIndicator()
{
    horizontalHeader()->setSortIndicator(
        m_filter.sortColumn, m_filter.ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CStationsListCtrl::OnHeaderContextMenu(const QPoint& pos)
{
    setFocus();
    QHeaderView* header = horizontalHeader();
    ShowHeaderMenu(header->logicalIndexAt(pos), header->mapToGlobal(pos));
}

void CStationsListCtrl::ShowHeaderMenu(int column, const QPoint& globalPos)
{
    if (column == 0) {
        QMenu menu(this);
        QAction* own = menu.addAction(MenuText(GetLangString(kTextOwnStationsOnly)));
        own->setCheckable(true);
        own->setChecked(m_filter.ownStationsOnly);
        if (menu.exec(globalPos) == own)
            SetOwnStationsOnly(!m_filter.ownStationsOnly);
        return;
    }
    if (column < 1 || column >= CStationsListModel::kColumns)
        return;

    // The values of the shown stations, in the order of the column: the rows are sorted by it first.
    const int field = CStationsListModel::ColumnField(column);
    QStringList values;
    {
        CStationCatalogue::Lock lock = m_catalogue.LockUnbounded();
        m_filter.sortColumn = field;
        m_filter.ascending = true;
        m_worker->SetFilter(m_filter);
        m_filter.Sort(m_catalogue.Visible(), m_catalogue.Stations());
        QString previous;
        for (unsigned index : m_catalogue.Visible()) {
            const QString& value = m_catalogue.Stations().Shared(index, field);
            if (value != previous) {
                values.append(value);
                previous = value;
            }
        }
    }
    UpdateSortIndicator();
    viewport()->update();

    ScrollableMenuStyle style;
    QMenu menu(this);
    menu.setStyle(&style);
    QAction* remove = nullptr;
    if (m_filter.HasFilter(field)) {
        remove = menu.addAction(MenuText(GetLangString(kTextRemoveFilter)));
        menu.addSeparator();
    }
    for (const QString& value : values)
        menu.addAction(MenuText(value))->setData(value);
    QAction* chosen = menu.exec(globalPos);
    if (!chosen)
        return;
    SetColumnFilter(column, chosen == remove ? QString() : chosen->data().toString());
}

void CStationsListCtrl::ShowRowMenu(const QPoint& globalPos)
{
    CStationItem station;
    GetSelectedStation(station, 0);

    QMenu menu(this);
    auto add = [](QMenu& into, const QString& text, int id) { into.addAction(MenuText(text))->setData(id); };
    add(menu, GetLangString(kTextPlay), kCommandPlay);
    QMenu* sources = menu.addMenu(MenuText(GetLangString(kTextSelectSource)));
    QStringList urls;
    station.GetSources(urls);
    for (int n = 0; n < urls.size(); ++n) {
        if (!urls.at(n).isEmpty())
            add(*sources, urls.at(n), kCommandSource + n);
    }
    add(menu, GetLangString(kTextDetails), kCommandDetails);
    add(menu, GetLangString(kTextAddNew), kCommandAdd);
    menu.addSeparator();
    add(menu, GetLangString(kTextDelete), kCommandDelete);
    if (QAction* chosen = menu.exec(globalPos))
        OnCommand(chosen->data().toInt());
}

void CStationsListCtrl::OnCommand(int id)
{
    if (id != kCommandAdd && SelectedRow() < 0) {
        MessageBox(GetLangString(kTextSelectStation), QString(), MB_OK | MB_ICONINFORMATION);
        return;
    }
    switch (id) {
    case kCommandPlay:
        PostToOwner(WM_STATIONS_LIST_PLAY, 0);
        break;
    case kCommandDetails:
        EditSelected();
        break;
    case kCommandAdd:
        AddUserStation();
        break;
    case kCommandDelete:
        DeleteUserStation();
        break;
    default:
        if (id >= kCommandSource && id < int(kCommandSource) + int(CStationItem::MaxSlots))
            PostToOwner(WM_STATIONS_LIST_PLAY, WPARAM(id - kCommandSource));
        break;
    }
}

void CStationsListCtrl::PostToOwner(int message, WPARAM wParam)
{
    PostWindowMessage(m_owner.data(), message, wParam, 0);
}

void CStationsListCtrl::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(viewport());
        if (m_transparent && !m_background.isNull())
            painter.drawPixmap(-viewport()->pos(), m_background);
        else
            painter.fillRect(event->rect(), m_bkColor);
    }
    QTableView::paintEvent(event);
    if (hasFocus() && currentIndex().isValid()) {
        QPainter painter(viewport());
        DrawFocusRow(painter);
    }
}

void CStationsListCtrl::DrawFocusRow(QPainter& painter)
{
    const int row = currentIndex().row();
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = QRect(-horizontalOffset(), rowViewportPosition(row), horizontalHeader()->length(), rowHeight(row));
    option.backgroundColor = m_bkColor;
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void CStationsListCtrl::keyReleaseEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (!event->isAutoRepeat() && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space))
        PostToOwner(WM_STATIONS_LIST_PLAY, 0);
    QTableView::keyReleaseEvent(event);
}

void CStationsListCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        PostToOwner(WM_STATIONS_LIST_PLAY, 0);
}

void CStationsListCtrl::contextMenuEvent(QContextMenuEvent* event)
{
    setFocus();
    const QPoint global = event->reason() == QContextMenuEvent::Keyboard ? QCursor::pos() : event->globalPos();
    QHeaderView* header = horizontalHeader();
    const QPoint inHeader = header->mapFromGlobal(global);
    if (header->isVisible() && header->rect().contains(inHeader))
        ShowHeaderMenu(header->logicalIndexAt(inHeader.x()), global);
    else
        ShowRowMenu(global);
}
