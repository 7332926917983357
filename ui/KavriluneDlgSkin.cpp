// Dressing the window from its skin: frame and outline, every control's place and look, the background
// painted once, the station list's colour taken from it, and the two layouts.

#include "ui/KavriluneDlg.h"

#include "core/SeException.h"
#include "ui/AnalyzerButton.h"
#include "ui/FilterBox.h"
#include "ui/GdipButton.h"
#include "ui/HyperStatic.h"
#include "ui/ListColor.h"
#include "ui/Skin.h"
#include "ui/SkinImage.h"
#include "ui/SliderCtrlEx.h"
#include "ui/StationsListCtrl.h"
#include "ui/StationsListDelegate.h"
#include "ui/WindowFader.h"

#include <QHeaderView>
#include <QPainter>
#include <QProgressBar>
#include <QScrollBar>

namespace
{

const QString kDefaultSkin = QStringLiteral("Standard");

struct ButtonPlace {
    int id;
    const char* section;
    int x, y, width, height;
    bool alternate;
};

// The image buttons in the order they are dressed, with the places used when a skin gives none.
const ButtonPlace kButtonPlaces[] = {
    { CKavriluneDlg::kCommandExit, "Exit", 351, 273, 33, 34, false },
    { CKavriluneDlg::kCommandOptions, "Options", 318, 273, 33, 34, false },
    { CKavriluneDlg::kCommandMute, "Mute", 141, 273, 33, 34, true },
    { CKavriluneDlg::kCommandFavorites, "Favorites", 285, 273, 33, 34, false },
    { CKavriluneDlg::kCommandRec, "Rec", 108, 273, 33, 34, true },
    { CKavriluneDlg::kCommandNext, "Next", 75, 273, 33, 34, false },
    { CKavriluneDlg::kCommandBack, "Back", 42, 273, 33, 34, false },
    { CKavriluneDlg::kCommandPlay, "Play", 9, 273, 33, 34, true },
    { CKavriluneDlg::kCommandSources, "Sources", 9, 244, 131, 26, false },
    { CKavriluneDlg::kCommandFilterLabel, "FilterLabel", 231, 8, 24, 24, false },
    { CKavriluneDlg::kCommandMinimize, "Minimize", 200, 8, 1, 1, false },
    { CKavriluneDlg::kCommandExpand, "Expand", 400, 8, 0, 0, false },
    { CKavriluneDlg::kCommandOnTop, "OnTop", 400, 8, 0, 0, true },
};

const QRect kDefaultListRect(11, 33, 369, 153);

} // namespace

void CKavriluneDlg::ApplySkin(int fadeMs, bool force)
{
    if (!force && m_skins.m_skin == m_skinName)
        return;
    m_skinName = m_skins.m_skin;
    ++m_skinApplyCount;

    CSkin skin;
    bool expanded = m_expanded;
    if (!skin.SetSkinPath(m_appFolder, m_skinName, expanded)) {
        m_skins.m_skin = kDefaultSkin;
        m_skinName = kDefaultSkin;
        expanded = m_expanded;
        skin.SetSkinPath(m_appFolder, kDefaultSkin, expanded);
    }
    m_expanded = expanded;

    const bool wasShown = IsShown();
    const bool wasMinimized = isVisible() && isMinimized();
    if (wasShown)
        CWindowFader::FadeOut(this, fadeMs);

    skin.ApplyWindowFrame(this, m_expanded ? m_expandedPos : m_windowPos);
    CXMLSettings& settings = skin.Settings();
    m_authorName
        = settings.GetString(QStringLiteral("Author"), QStringLiteral("Name"), QStringLiteral("unknown author"), true);
    m_authorUrl = settings.GetString(QStringLiteral("Author"), QStringLiteral("URL"), QStringLiteral("..."), true);

    for (const ButtonPlace& place : kButtonPlaces)
        skin.ApplyButtonSkin(*Button(place.id), QString::fromLatin1(place.section), place.x, place.y, place.width,
            place.height, place.alternate);
    Button(kCommandSources)->SetHideText(false);

    m_spectrum->LoadSkin(settings, QStringLiteral("Spectrum"), 147, 213, 132, 54);
    m_list->LoadSkin(settings, QStringLiteral("List"), kDefaultListRect);
    m_volume->LoadSkin(settings, skin.Images(), QStringLiteral("Volume"), 281, 234, 107, 33);
    m_filter->LoadSkin(settings, QStringLiteral("Filter"), 255, 10, 126, 21);
    skin.PlaceControl(m_bufferIndicator, QStringLiteral("BufferIndicator"), 86, 229, 48, 11);
    skin.ApplyLabelSkin(*m_songTitle, QStringLiteral("SongTitle"), 0, 0, 0, 0);
    skin.ApplyLabelSkin(*m_status, QStringLiteral("Status"), 11, 210, 126, 13);
    skin.ApplyLabelSkin(*m_foundNumber, QStringLiteral("FoundNumber"), 11, 15, 197, 13);
    skin.ApplyLabelSkin(*m_rotatedInfo, QStringLiteral("RotatedInfo"), 11, 192, 368, 13);
    skin.ApplyLabelSkin(*m_bufferInfo, QStringLiteral("BufferInfo"), 11, 228, 71, 13);

    CreateBackgroundBrush(skin,
        settings.GetString(QStringLiteral("Window"), QStringLiteral("Background"), QStringLiteral("bg.jpg"), true));
    // The list's own keys win over the colour taken from the background.
    m_list->LoadSkin(settings, QStringLiteral("List"), kDefaultListRect);
    m_list->CaptureBackground(m_background);
    ApplyLayoutPalette();

    UpdateTitleText(false);
    UpdateStreamFormatText();
    // At start-up the keys are grabbed once the window is up.
    if (m_startUpFinished)
        RegisterHotKeys();

    if (wasShown)
        CWindowFader::FadeIn(this, fadeMs);
    else if (wasMinimized)
        showMinimized();
    skin.Redraw(this);
    update();
}

void CKavriluneDlg::CreateBackgroundBrush(CSkin& skin, const QString& imageName)
{
    const SkinBackground background
        = skin.PaintBackground(imageName, size(), devicePixelRatioF(), palette().color(QPalette::Button));
    if (background.listColor.isValid())
        m_list->SetBkColor(background.listColor);
    m_background = background.picture;

    for (const auto& [id, button] : m_buttons)
        button->CopyParentBackground(m_background);
    for (CHyperStatic* label : { m_songTitle, m_status, m_foundNumber, m_rotatedInfo, m_bufferInfo })
        label->CopyParentBackground(m_background);
    m_spectrum->CopyParentBackground(m_background);
    m_volume->CopyParentBackground(m_background);
    m_filter->CopyParentBackground(m_background);
}

void CKavriluneDlg::ApplyLayoutPalette()
{
    // The buffer bar, the header of the list and the drop-downs follow the skin's list colours.
    const CStationsListDelegate& rows = m_list->Delegate();
    const QColor base = m_list->BkColor();
    const bool dark = base.lightnessF() < 0.5;
    QPalette colors = palette();
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
    setPalette(colors);

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
    m_list->verticalScrollBar()->setStyleSheet(bars);
    m_list->horizontalScrollBar()->setStyleSheet(bars);
    // Where both bars show, the corner between them is the list's own colour, not the style's framed
    // panel (a dark square on a dark list).
    QWidget* corner = m_list->cornerWidget();
    if (!corner) {
        corner = new QWidget(m_list);
        corner->setAutoFillBackground(true);
        m_list->setCornerWidget(corner);
    }
    QPalette cornerColors = corner->palette();
    cornerColors.setColor(QPalette::Window, base);
    corner->setPalette(cornerColors);
    m_list->horizontalHeader()->setStyleSheet(
        QStringLiteral("QHeaderView { background: %1; border: none; }"
                       "QHeaderView::section { background: %1; color: %2; border: none; border-bottom: 1px solid %3;"
                       " padding: 1px 6px; }")
            .arg(rgba(base), rgba(caption), rgba(line)));
}

void CKavriluneDlg::OnExpand()
{
    if (IsShown())
        StoreWindowPosition();
    m_expanded = !m_expanded;
    ApplySkin(50, true);
}
