#pragma once

#include "ui/desktop/DropTarget.h"
#include "ui/options/PropertyPage.h"

class CListImageCtrl;
class CPropSkins;
class QComboBox;
class QLabel;
class QListWidgetItem;

// The Skins page: the installed skins by name and as thumbnails; the chosen one becomes the window's
// skin. It edits the window's CPropSkins, which outlives it and reaches it while it exists.
class CSkinsPage : public CPropertyPage
{
    Q_OBJECT

public:
    explicit CSkinsPage(CPropSkins& values, QWidget* parent = nullptr);
    ~CSkinsPage() override;

    static QString PageTitle();

    void OnInitDialog() override;
    void OnOK() override;
    bool OnApply() override;
    // Lists the installed skins in the drop-down list and as thumbnails, the current one selected.
    void FillSkinList();
    // A thumbnail was selected: the drop-down list follows it.
    void OnSkinListItemChanged();

    QComboBox* SkinCombo() const { return m_combo; }
    CListImageCtrl* SkinList() const { return m_list; }
    QLabel* MoreSkinsLabel() const { return m_moreSkins; }

private:
    // The thumbnails' item data role that holds the position of their skin in the drop-down list.
    static constexpr int kSkinIndexRole = Qt::UserRole + 1;

    void OnComboActivated(int index);
    // The thumbnail of the skin at that position of the drop-down list, if it has one.
    QListWidgetItem* ThumbnailOf(int skin) const;

    CPropSkins& m_values;
    QLabel* m_comboLabel = nullptr;
    QComboBox* m_combo = nullptr;
    CListImageCtrl* m_list = nullptr;
    QLabel* m_dropHint = nullptr;
    QLabel* m_moreSkins = nullptr;
    CDropTarget m_dropTarget;
};
