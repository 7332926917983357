#pragma once

#include <QPixmap>
#include <QPoint>
#include <QString>

#include <functional>

class CFilterBox;
class CGdipButton;
class CHyperStatic;
class CPropSkins;
class CSkin;
class CSliderCtrlEx;
class CSpectrumButton;
class CStationsListCtrl;
class QProgressBar;
class QWidget;

// Dresses the main window from its skin: frame and outline at the layout's position, every control's
// place and look, the background painted once and handed to the controls, the station list's colour
// taken from it, and the window's palette in the list's colours. It keeps the skin last applied and
// its author. UI thread only.
class CSkinLayout
{
public:
    // The window and the controls it dresses; all belong to the window.
    struct Controls {
        QWidget& window;
        CGdipButton* exit;
        CGdipButton* options;
        CGdipButton* mute;
        CGdipButton* favorites;
        CGdipButton* rec;
        CGdipButton* next;
        CGdipButton* back;
        CGdipButton* play;
        CGdipButton* sources;
        CGdipButton* filterLabel;
        CGdipButton* minimize;
        CGdipButton* expand;
        CGdipButton* onTop;
        CSpectrumButton& spectrum;
        CStationsListCtrl& list;
        CSliderCtrlEx& volume;
        CFilterBox& filter;
        QProgressBar& bufferIndicator;
        CHyperStatic& songTitle;
        CHyperStatic& status;
        CHyperStatic& foundNumber;
        CHyperStatic& rotatedInfo;
        CHyperStatic& bufferInfo;
    };
    // The window's layout state it reads: which layout shows (a skin without the expanded one turns it
    // off) and where each layout's window was last seen.
    struct Layout {
        bool& expanded;
        const QPoint& windowPos;
        const QPoint& expandedPos;
    };

    // skins: the skin chosen (reset to the built-in one when it cannot be loaded); appFolder: where
    // the skins lie; dressed: run once the controls are dressed, before the window shows again.
    CSkinLayout(const Controls& controls, CPropSkins& skins, const Layout& layout, std::function<QString()> appFolder,
        std::function<void()> dressed);

    // Puts the chosen skin on, fading the shown window out and in over fadeMs; unless forced only when
    // the choice differs from the skin last applied.
    void ApplySkin(int fadeMs, bool force);

    const QString& AuthorName() const { return m_authorName; }
    int ApplyCount() const { return m_applyCount; }
    // The window's painted background at its pixel density; null before the first skin.
    const QPixmap& Background() const { return m_background; }

private:
    bool IsShown() const;
    void CreateBackgroundBrush(CSkin& skin, const QString& imageName);
    void ApplyLayoutPalette();

    Controls m_controls;
    CPropSkins& m_skins;
    Layout m_layout;
    std::function<QString()> m_appFolder;
    std::function<void()> m_dressed;
    QString m_skinName; // the skin last applied
    QString m_authorName;
    QString m_authorUrl;
    int m_applyCount = 0;
    QPixmap m_background;
};
