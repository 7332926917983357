#include "ui/mainwindow/SkinLayout.h"

#include "ui/controls/FilterBox.h"
#include "ui/controls/GdipButton.h"
#include "ui/controls/HyperStatic.h"
#include "ui/controls/SliderCtrlEx.h"
#include "ui/controls/SpectrumButton.h"
#include "ui/options/PropSkins.h"
#include "ui/skin/ListColor.h"
#include "ui/skin/Skin.h"
#include "ui/skin/SkinImage.h"
#include "ui/skin/WindowFader.h"
#include "ui/stationlist/StationsListCtrl.h"
#include "ui/stationlist/StationsListDelegate.h"

#include <QHeaderView>
#include <QPainter>
#include <QProgressBar>
#include <QScrollBar>

#include <utility>

namespace
{

const QString kDefaultSkin = QStringLiteral("Standard");

struct ButtonPlace {
    CGdipButton* CSkinLayout::Controls::*button;
    const char* section;
    int x, y, width, height;
    bool alternate;
};

// The image buttons in the order they are dressed, with the places used when a skin gives none.
const ButtonPlace kButtonPlaces[] = {
    { &CSkinLayout::Controls::exit, "Exit", 351, 273, 33, 34, false },
    { &CSkinLayout::Controls::options, "Options", 318, 273, 33, 34, false },
    { &CSkinLayout::Controls::mute, "Mute", 141, 273, 33, 34, true },
    { &CSkinLayout::Controls::favorites, "Favorites", 285, 273, 33, 34, false },
    { &CSkinLayout::Controls::rec, "Rec", 108, 273, 33, 34, true },
    { &CSkinLayout::Controls::next, "Next", 75, 273, 33, 34, false },
    { &CSkinLayout::Controls::back, "Back", 42, 273, 33, 34, false },
    { &CSkinLayout::Controls::play, "Play", 9, 273, 33, 34, true },
    { &CSkinLayout::Controls::sources, "Sources", 9, 244, 131, 26, false },
    { &CSkinLayout::Controls::filterLabel, "FilterLabel", 231, 8, 24, 24, false },
    { &CSkinLayout::Controls::minimize, "Minimize", 200, 8, 1, 1, false },
    { &CSkinLayout::Controls::expand, "Expand", 400, 8, 0, 0, false },
    { &CSkinLayout::Controls::onTop, "OnTop", 400, 8, 0, 0, true },
};

const QRect kDefaultListRect(11, 33, 369, 153);

} // namespace

CSkinLayout::CSkinLayout(const Controls& controls, CPropSkins& skins, const Layout& layout,
    std::function<QString()> appFolder, std::function<void()> dressed)
    : m_controls(controls)
    , m_skins(skins)
    , m_layout(layout)
    , m_appFolder(std::move(appFolder))
    , m_dressed(std::move(dressed))
{
}

bool CSkinLayout::IsShown() const
{
    return m_controls.window.isVisible() && !m_controls.window.isMinimized();
}

void CSkinLayout::ApplySkin(int fadeMs, bool force)
{
    if (!force && m_skins.m_skin == m_skinName)
        return;
    m_skinName = m_skins.m_skin;
    ++m_applyCount;

    CSkin skin;
    bool& layoutExpanded = m_layout.expanded;
    const QString appFolder = m_appFolder();
    bool expanded = layoutExpanded;
    if (!skin.SetSkinPath(appFolder, m_skinName, expanded)) {
        m_skins.m_skin = kDefaultSkin;
        m_skinName = kDefaultSkin;
        expanded = layoutExpanded;
        skin.SetSkinPath(appFolder, kDefaultSkin, expanded);
    }
    layoutExpanded = expanded;

    const bool wasShown = IsShown();
    QWidget& window = m_controls.window;
    const bool wasMinimized = window.isVisible() && window.isMinimized();
    if (wasShown)
        CWindowFader::FadeOut(&window, fadeMs);

    skin.ApplyWindowFrame(&window, layoutExpanded ? m_layout.expandedPos : m_layout.windowPos);
    CXMLSettings& settings = skin.Settings();
    m_authorName
        = settings.GetString(QStringLiteral("Author"), QStringLiteral("Name"), QStringLiteral("unknown author"), true);
    m_authorUrl = settings.GetString(QStringLiteral("Author"), QStringLiteral("URL"), QStringLiteral("..."), true);

    for (const ButtonPlace& place : kButtonPlaces)
        skin.ApplyButtonSkin(*(m_controls.*place.button), QString::fromLatin1(place.section), place.x, place.y,
            place.width, place.height, place.alternate);
    m_controls.sources->SetHideText(false);

    m_controls.spectrum.LoadSkin(settings, QStringLiteral("Spectrum"), 147, 213, 132, 54);
    m_controls.list.LoadSkin(settings, QStringLiteral("List"), kDefaultListRect);
    m_controls.volume.LoadSkin(settings, skin.Images(), QStringLiteral("Volume"), 281, 234, 107, 33);
    m_controls.filter.LoadSkin(settings, QStringLiteral("Filter"), 255, 10, 126, 21);
    skin.PlaceControl(&m_controls.bufferIndicator, QStringLiteral("BufferIndicator"), 86, 229, 48, 11);
    skin.ApplyLabelSkin(m_controls.songTitle, QStringLiteral("SongTitle"), 0, 0, 0, 0);
    skin.ApplyLabelSkin(m_controls.status, QStringLiteral("Status"), 11, 210, 126, 13);
    skin.ApplyLabelSkin(m_controls.foundNumber, QStringLiteral("FoundNumber"), 11, 15, 197, 13);
    skin.ApplyLabelSkin(m_controls.rotatedInfo, QStringLiteral("RotatedInfo"), 11, 192, 368, 13);
    skin.ApplyLabelSkin(m_controls.bufferInfo, QStringLiteral("BufferInfo"), 11, 228, 71, 13);

    CreateBackgroundBrush(skin,
        settings.GetString(QStringLiteral("Window"), QStringLiteral("Background"), QStringLiteral("bg.jpg"), true));
    // The list's own keys win over the colour taken from the background.
    m_controls.list.LoadSkin(settings, QStringLiteral("List"), kDefaultListRect);
    m_controls.list.CaptureBackground(m_background);
    ApplyLayoutPalette();

    m_dressed();

    if (wasShown)
        CWindowFader::FadeIn(&window, fadeMs);
    else if (wasMinimized)
        window.showMinimized();
    skin.Redraw(&window);
    window.update();
}

void CSkinLayout::CreateBackgroundBrush(CSkin& skin, const QString& imageName)
{
    const QWidget& window = m_controls.window;
    const SkinBackground background = skin.PaintBackground(
        imageName, window.size(), window.devicePixelRatioF(), window.palette().color(QPalette::Button));
    if (background.listColor.isValid())
        m_controls.list.SetBkColor(background.listColor);
    m_background = background.picture;

    for (const ButtonPlace& place : kButtonPlaces)
        (m_controls.*place.button)->CopyParentBackground(m_background);
    for (CHyperStatic* label : { &m_controls.songTitle, &m_controls.status, &m_controls.foundNumber,
             &m_controls.rotatedInfo, &m_controls.bufferInfo })
        label->CopyParentBackground(m_background);
    m_controls.spectrum.CopyParentBackground(m_background);
    m_controls.volume.CopyParentBackground(m_background);
    m_controls.filter.CopyParentBackground(m_background);
}

void CSkinLayout::ApplyLayoutPalette()
{
    // The buffer bar, the header of the list and the drop-downs follow the skin's list colours.
    QWidget& window = m_controls.window;
    CStationsListCtrl& list = m_controls.list;
    const CStationsListDelegate& rows = list.Delegate();
    const QColor base = list.BkColor();
    const bool dark = base.lightnessF() < 0.5;
    QPalette colors = window.palette();
    QColor highlight = rows.HighlightColor();
    highlight.setAlpha(255);
    colors.setColor(QPalette::Window, dark ? base.lighter(115) : base.darker(105));
    colors.setColor(QPalette::Base, base);
    colors.setColor(QPalette::AlternateBase, dark ? base.lighter(110) : base.darker(103));
    colors.setColor(QPalette::Button, dark ? base.lighter(125) : base.darker(108));
    colors.setColor(QPalette::Text, rows.TextColor());
    colors.setColor(QPalette::WindowText, rows.TextColor());
    colors.setColor(QPalette::ButtonText, rows.TextColor());
    colors.setColor(QPalette::Highlight, highlight);
    colors.setColor(QPalette::HighlightedText, rows.HighlightTextColor());
    colors.setColor(QPalette::Light, dark ? base.lighter(160) : QColor(Qt::white));
    colors.setColor(QPalette::Dark, dark ? base.darker(150) : base.darker(140));
    colors.setColor(QPalette::Shadow, QColor(0, 0, 0, dark ? 160 : 60));
    colors.setColor(QPalette::ToolTipBase, base);
    colors.setColor(QPalette::ToolTipText, rows.TextColor());
    window.setPalette(colors);

    // Slim scroll bars and a flat header in the list's colours, in place of the style's grey ones.
    QColor handle = rows.TextColor();
    handle.setAlpha(70);
    QColor handleHot = rows.TextColor();
    handleHot.setAlpha(130);
    QColor line = rows.TextColor();
    line.setAlpha(40);
    QColor caption = rows.TextColor();
    caption.setAlpha(170);
    auto rgba = [](const QColor& color) {
        return QStringLiteral("rgba(%1,%2,%3,%4)")
            .arg(color.red())
            .arg(color.green())
            .arg(color.blue())
            .arg(color.alpha());
    };
    const QString bars = QStringLiteral("QScrollBar { background: transparent; margin: 2px; }"
                                        "QScrollBar:vertical { width: 10px; } QScrollBar:horizontal { height: 10px; }"
                                        "QScrollBar::handle { background: %1; border-radius: 3px; margin: 0 1px; }"
                                        "QScrollBar::handle:vertical { min-height: 24px; } "
                                        "QScrollBar::handle:horizontal { min-width: 24px; margin: 1px 0; }"
                                        "QScrollBar::handle:hover { background: %2; }"
                                        "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }"
                                        "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }")
                             .arg(rgba(handle), rgba(handleHot));
    list.verticalScrollBar()->setStyleSheet(bars);
    list.horizontalScrollBar()->setStyleSheet(bars);
    // Where both bars show, the corner between them is the list's own colour, not the style's framed
    // panel (a dark square on a dark list).
    QWidget* corner = list.cornerWidget();
    if (!corner) {
        corner = new QWidget(&list);
        corner->setAutoFillBackground(true);
        list.setCornerWidget(corner);
    }
    QPalette cornerColors = corner->palette();
    cornerColors.setColor(QPalette::Window, base);
    corner->setPalette(cornerColors);
    list.horizontalHeader()->setStyleSheet(
        QStringLiteral("QHeaderView { background: %1; border: none; }"
                       "QHeaderView::section { background: %1; color: %2; border: none; border-bottom: 1px solid %3;"
                       " padding: 1px 6px; }")
            .arg(rgba(base), rgba(caption), rgba(line)));
}
