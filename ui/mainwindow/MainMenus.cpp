#include "ui/mainwindow/MainMenus.h"
#include "ui/mainwindow/MainWindowTexts.h"

#include "audio/RadioManager.h"
#include "core/Favorites.h"
#include "core/Localization.h"
#include "core/MessageBox.h"
#include "core/StationItem.h"
#include "ui/mainwindow/MainWindowCommands.h"
#include "ui/stationlist/StationsListCtrl.h"

#include <QCursor>
#include <QMenu>
#include <QScreen>
#include <QWidget>

#include <algorithm>

using namespace main_window_commands;

namespace
{

// Commands of the menus beside the buttons' own.
enum : int {
    kCommandAddFavorite = 1324,
    kCommandRemoveFavorite = 1325,
    kCommandMoveFavoriteUp = 1409,
    kCommandFirstEqualizer = 2000, // "Off"; the presets follow
    kCommandLastEqualizer = 2004,
    kCommandFirstLanguage = 2024,
    kCommandLastLanguage = 2224,
};

using namespace main_window_texts;

// A menu text shows "&" as it is ("&" alone marks a shortcut letter).
QString MenuText(QString text)
{
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QAction* AddItem(QMenu& menu, const QString& text, int id, bool checked = false)
{
    QAction* action = menu.addAction(MenuText(text));
    action->setData(id);
    // Only a checked item shows a mark; the others keep the plain look.
    action->setCheckable(checked);
    action->setChecked(checked);
    return action;
}

void AddEntries(QMenu& menu, const QList<MenuEntry>& entries)
{
    for (const MenuEntry& entry : entries)
        AddItem(menu, entry.text, int(entry.commandId), entry.checked)->setEnabled(entry.enabled);
}

// Where a menu of this size goes so that its right edge meets the button's right edge: above the
// button when the button lies in the lower half of its screen, else below it.
QPoint BesideButton(const QWidget& button, const QSize& menu)
{
    const QRect place(button.mapToGlobal(QPoint(0, 0)), button.size());
    const QScreen* screen = button.screen();
    const int middle = screen ? screen->geometry().center().y() : 0;
    const int left = place.x() + place.width() - menu.width();
    return place.y() > middle ? QPoint(left, place.y() - menu.height()) : QPoint(left, place.y() + place.height());
}

} // namespace

CMainMenus::CMainMenus(Shared shared, Hooks hooks)
    : m_shared(shared)
    , m_hooks(std::move(hooks))
{
}

// --- building ---

void CMainMenus::FillFavoritesMenu(QMenu& menu)
{
    m_shared.favorites.SetCurrent(m_shared.radio.GetStationName());
    AddEntries(menu, m_shared.favorites.BuildMenu());
    menu.addSeparator();
    AddItem(menu, GetLangString(kTextAddFavorite), kCommandAddFavorite);
    AddItem(menu, GetLangString(kTextMoveFavoriteUp), kCommandMoveFavoriteUp);
    AddItem(menu, GetLangString(kTextRemoveFavorite), kCommandRemoveFavorite);
}

std::unique_ptr<QMenu> CMainMenus::BuildFavoritesMenu()
{
    auto menu = std::make_unique<QMenu>(&m_shared.window);
    FillFavoritesMenu(*menu);
    return menu;
}

std::unique_ptr<QMenu> CMainMenus::BuildMainMenu()
{
    CRadioManager& radio = m_shared.radio;
    m_shared.history.SetCurrent(radio.GetStationName());
    auto menu = std::make_unique<QMenu>(&m_shared.window);
    AddItem(*menu, GetLangString(radio.IsPlaying() ? kTextStop : kTextPlay), kCommandPlay);
    AddItem(*menu, GetLangString(radio.IsMuted() ? kTextUnmute : kTextMute), kCommandMute);
    AddItem(*menu, GetLangString(radio.IsRecording() ? kTextStopRec : kTextRec), kCommandRec);
    AddItem(*menu, GetLangString(kTextDetails), kCommandDetails);
    AddItem(*menu, GetLangString(kTextAddStation), kCommandAddStation);
    menu->addSeparator();

    // The submenus belong to the main menu and go with it.
    FillFavoritesMenu(*menu->addMenu(MenuText(GetLangString(kTextFavorites))));
    QMenu* history = menu->addMenu(MenuText(GetLangString(kTextBack)));
    AddEntries(*history, m_shared.history.BuildMenu());

    QMenu* equalizer = menu->addMenu(MenuText(GetLangString(kTextEqualizer)));
    const int preset = radio.GetEqualizerPreset();
    for (int id = kCommandFirstEqualizer; id <= kCommandLastEqualizer; ++id)
        AddItem(*equalizer, GetLangString(kTextFirstPreset + id - kCommandFirstEqualizer), id,
            preset == id - kCommandFirstEqualizer - 1);

    QMenu* window = menu->addMenu(MenuText(GetLangString(kTextWindow)));
    AddItem(*window, GetLangString(kTextOnTop), kCommandOnTop, m_hooks.isOnTop());
    AddItem(*window, GetLangString(kTextExpand), kCommandExpand);
    AddItem(*window, GetLangString(kTextHide), kCommandMinimize, !m_hooks.isShown());

    QMenu* clipboard = menu->addMenu(MenuText(GetLangString(kTextClipboard)));
    AddItem(*clipboard, GetLangString(kTextCopyUrl), kCommandCopyUrl);
    AddItem(*clipboard, GetLangString(kTextPasteUrl), kCommandPasteUrl);
    menu->addSeparator();

    QMenu* languages = menu->addMenu(MenuText(GetLangString(kTextLanguage)));
    AddEntries(*languages, BuildLanguageMenu(kCommandFirstLanguage));
    AddItem(*menu, GetLangString(kTextOptions), kCommandOptions);
    AddItem(*menu, GetLangString(kTextAbout), kCommandAbout);
    AddItem(*menu, GetLangString(kTextExit), kCommandExit);
    return menu;
}

QStringList CMainMenus::MenuSources()
{
    CStationItem station;
    m_shared.radio.GetCurrentStation(station);
    QStringList sources;
    station.GetSources(sources);
    // A station known by one address alone may have more in the catalogue.
    if (std::count_if(sources.cbegin(), sources.cend(), [](const QString& source) { return !source.isEmpty(); }) <= 1) {
        CStationItem record;
        m_shared.list.FindOrAddStation(record, station.GetTitle(), sources.value(0));
        sources.clear();
        record.GetSources(sources);
    }
    return sources;
}

std::unique_ptr<QMenu> CMainMenus::BuildSourcesMenu()
{
    const QStringList sources = MenuSources();
    const QString current = m_shared.radio.GetStationUrl();
    auto menu = std::make_unique<QMenu>(&m_shared.window);
    for (qsizetype i = 0; i < sources.size(); ++i) {
        if (!sources[i].isEmpty())
            AddItem(*menu, sources[i], int(i + 1), sources[i] == current);
    }
    return menu;
}

// --- showing ---

void CMainMenus::ShowContextMenu()
{
    const QPoint at = QCursor::pos();
    QWidget& window = m_shared.window;
    if (window.isVisible()) {
        window.raise();
        window.activateWindow();
    }
    const std::unique_ptr<QMenu> menu = BuildMainMenu();
    if (QAction* chosen = menu->exec(at))
        m_hooks.command(chosen->data().toInt());
}

void CMainMenus::ShowFavoritesMenu()
{
    const std::unique_ptr<QMenu> menu = BuildFavoritesMenu();
    if (QAction* chosen = menu->exec(BesideButton(*m_hooks.button(kCommandFavorites), menu->sizeHint())))
        m_hooks.command(chosen->data().toInt());
}

void CMainMenus::ShowSourcesMenu()
{
    const std::unique_ptr<QMenu> menu = BuildSourcesMenu();
    if (menu->isEmpty())
        return;
    const QWidget& button = *m_hooks.button(kCommandSources);
    const QPoint corner = button.mapToGlobal(QPoint(0, 0));
    if (QAction* chosen = menu->exec(QPoint(corner.x(), corner.y() - menu->sizeHint().height())))
        OnSourceChosen(chosen->data().toInt());
}

void CMainMenus::OnSourceChosen(int number)
{
    const QStringList sources = MenuSources();
    if (number < 1 || number > sources.size())
        return;
    const QString& source = sources[number - 1];
    if (source == m_shared.radio.GetStationUrl() || !m_hooks.confirmStopRecording())
        return;
    CStationItem chosen;
    m_shared.list.FindOrAddStation(chosen, m_shared.radio.GetStationName(), source);
    m_hooks.play(chosen);
}

// --- commands ---

bool CMainMenus::OnMenuCommand(int id)
{
    if (id == kCommandAddFavorite) {
        OnAddToFavorites();
    } else if (id == kCommandRemoveFavorite) {
        m_shared.favorites.DeleteCurrent();
    } else if (id == kCommandMoveFavoriteUp) {
        OnMoveFavoriteUp();
    } else if (id >= kCommandFirstEqualizer && id <= kCommandLastEqualizer) {
        m_shared.radio.SetEqualizerPreset(id - kCommandFirstEqualizer - 1);
    } else if (id >= kCommandFirstLanguage && id <= kCommandLastLanguage) {
        SelectLanguageByMenuId(unsigned(id));
        m_hooks.languageChosen();
    } else {
        return false;
    }
    return true;
}

void CMainMenus::OnAddToFavorites()
{
    const int result
        = m_shared.favorites.AddAndSave(m_shared.radio.GetStationName(), m_shared.radio.GetStationUrl(), 0);
    if (result < 0)
        MessageBox(GetLangString(kTextListFull), QString(), MB_OK | MB_ICONINFORMATION);
    else if (result == 0)
        MessageBox(GetLangString(kTextAlreadyThere), QString(), MB_OK | MB_ICONINFORMATION);
}

void CMainMenus::OnMoveFavoriteUp()
{
    m_shared.favorites.ReplaceAndSave(m_shared.radio.GetStationName(), m_shared.radio.GetStationUrl(), 0);
}
