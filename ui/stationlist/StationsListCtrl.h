#pragma once

#include "core/StationItem.h"
#include "core/WindowMessage.h"
#include "stations/StationCatalogue.h"
#include "stations/StationFilter.h"

#include <QColor>
#include <QPixmap>
#include <QPointer>
#include <QTableView>
#include <memory>

class CStationsListWorker;
class CStationsListDelegate;
class CStationsListModel;
class CXMLSettings;

// Posted to the list's owner after every pass of the list's worker; the owner answers with Refresh().
constexpr int WM_STATIONS_LIST_DONE = WM_USER + 7;
// Posted to the list's owner to play the selected station; wParam is the source number (0: the first).
constexpr int WM_STATIONS_LIST_PLAY = WM_USER + 500;

// The station list of the main window: the catalogue of every known station, narrowed by search words,
// column filters and the own-stations mode, sorted by a column and shown as a virtual four-column list.
// A worker thread loads the catalogue while the list is shown, frees it while the list is hidden, and
// filters and sorts; the list edits the user's own stations through the station editor.
class CStationsListCtrl : public QTableView
{
    Q_OBJECT

public:
    // Commands of the row menu; a source item carries kCommandSource + its source number.
    enum Command {
        kCommandPlay = 1,
        kCommandDetails = 2,
        kCommandDelete = 4,
        kCommandAdd = 5,
        kCommandSource = 100,
    };

    // owner receives the list's posted messages.
    explicit CStationsListCtrl(QObject* owner, QWidget* parent = nullptr);
    ~CStationsListCtrl() override;

    // The database pattern ("<program folder>Stations/stations*.kvd") and the user's stations file.
    // Loads nothing: the catalogue is read when the list is first shown.
    void Init(const QString& databasePattern, const QString& userFilePath);
    // Closing: the worker ends and the catalogue is freed; nothing is loaded afterwards.
    void Stop();

    // Catalogue.
    void LoadStationsFile(const QString& pattern, bool markUser) { m_catalogue.LoadStationsFile(pattern, markUser); }
    void LoadUserStations() { m_catalogue.LoadUserStations(); }
    bool MergeStation(const CStationItem& item) { return m_catalogue.MergeStation(item); }
    void ClearStations();
    bool SaveUserStations() { return m_catalogue.SaveUserStations(); }
    int FindTitleIndex(const QString& title);
    bool FindStationByTitle(CStationItem& out, const QString& title)
    {
        return m_catalogue.FindStationByTitle(out, title);
    }
    bool FindStationBySource(CStationItem& out, const QString& url)
    {
        return m_catalogue.FindStationBySource(out, url);
    }
    void FindOrAddStation(CStationItem& out, const QString& title, const QString& url)
    {
        m_catalogue.FindOrAddStation(out, title, url);
    }
    // Copies the selected row's station with the given source as its current one; false without a
    // selected row.
    bool GetSelectedStation(CStationItem& out, uint8_t sourceIndex);
    int GetVisibleCount() const;
    // Marks the rows of the station with this source as playing.
    void SetPlayingSource(const QString& url);
    // Reads the catalogue afresh (after a new database was installed).
    void ReloadCatalogue();

    // The user's own stations, through the station editor.
    void AddUserStation();
    // Edits a station; the changed fields go to the catalogue's own record of that user station,
    // which moves to its place in title order, and the user's file is saved.
    void EditStation(CStationItem& record);
    void EditSelected();
    bool DeleteUserStation();

    // Search, filters and sort.
    void SetSearchText(const QString& text);
    // The filter of a column's field; an empty value removes it. The worker runs again.
    void SetColumnFilter(int column, const QString& value);
    void SetOwnStationsOnly(bool ownOnly);
    const CStationFilter& Filter() const { return m_filter; }
    void OnColumnClick(int column);

    // Display.
    // After every worker pass: the row count, the sort arrow and the column widths.
    void Refresh();
    void UpdateVisibility();
    void Hide();
    void ShowIfNeeded(bool show);
    void LoadSkin(CXMLSettings& skin, const QString& section, const QRect& defaultRect);
    // Keeps the pixels of the painted main window under the list (transparent skins only).
    void CaptureBackground(const QPixmap& windowSurface);
    void SetBkColor(const QColor& color);
    void LoadColumnWidths(CXMLSettings& settings, const QString& section);
    void SaveColumnWidths(CXMLSettings& settings, const QString& section);
    // The header's column widths, and writing a copy of them on any thread.
    QList<int> ColumnWidths() const;
    static void SaveColumnWidths(CXMLSettings& settings, const QString& section, const QList<int>& widths);
    void InitColumns();
    // Fits the columns after the changed one (the first for -1) into the list's width.
    void FitColumns(int changedColumn);

    // Menus and commands.
    void ShowHeaderMenu(int column, const QPoint& globalPos);
    void ShowRowMenu(const QPoint& globalPos);
    void OnCommand(int id);

    CStationCatalogue& Catalogue() { return m_catalogue; }
    CStationsListWorker& Worker() { return *m_worker; }
    CStationsListDelegate& Delegate() { return *m_delegate; }
    const QColor& BkColor() const { return m_bkColor; }
    bool IsTransparent() const { return m_transparent; }
    const QPixmap& Background() const { return m_background; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void RestartWorker();
    void SetActive(bool active);
    int SelectedRow() const;
    void UpdateSortIndicator();
    void OnHeaderContextMenu(const QPoint& pos);
    void OnSectionResized(int column);
    void PostToOwner(int message, WPARAM wParam);
    void DrawFocusRow(QPainter& painter);

    CStationCatalogue m_catalogue;
    QPointer<QObject> m_owner;
    std::unique_ptr<CStationsListWorker> m_worker; // joined by Stop()
    CStationsListModel* m_model = nullptr;
    CStationsListDelegate* m_delegate = nullptr;

    CStationFilter m_filter; // the user interface's state; the worker gets a copy with each restart
    QString m_searchText;
    bool m_skinVisible = true;
    bool m_transparent = false;
    QColor m_bkColor;
    QPixmap m_background; // the window's pixels under the list, in the list's coordinates
    bool m_fitting = false; // FitColumns resizes sections itself
    bool m_adding = false; // an AddUserStation dialog is open
    bool m_editing = false; // an EditStation dialog is open
};
