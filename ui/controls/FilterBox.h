#pragma once

#include "ui/skin/SkinnedControl.h"

#include <QComboBox>
#include <QString>
#include <functional>

class CXMLSettings;

// The search box over the station list: every edit goes to the target at once, and the drop-down keeps
// the last 20 searches, newest first, without two that differ only in letter case. The box draws the
// window background under itself, so the skin's art frames it.
class CFilterBox : public QComboBox, public CSkinnedControl
{
    Q_OBJECT

public:
    static constexpr int kHistorySize = 20;
    using SearchTarget = std::function<void(const QString& text)>;

    explicit CFilterBox(QWidget* parent = nullptr);

    // Stores the receiver of the search text and hands it the current text.
    void SetTarget(SearchTarget target);
    void AddToHistory(const QString& text);
    // Empties the history and keeps the search text as it is.
    void ClearHistory();
    // The history in section "General": "Filter" (the search text) and "Filter_0" .. "Filter_19".
    void SaveHistory(CXMLSettings& settings) const;
    // The same from a copy of the search text and the history, on any thread.
    static void SaveHistory(CXMLSettings& settings, const QString& searchText, const QStringList& history);
    void LoadHistory(CXMLSettings& settings);
    void LoadSkin(CXMLSettings& skin, const QString& section, int x, int y, int width, int height);

    QStringList History() const;

protected:
    void wheelEvent(QWheelEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void OnBackgroundChanged() override;

private:
    void OnEditChange(const QString& text);
    void OnSelEndOk(int index);
    void OnKillFocus();
    void HandToTarget(const QString& text);
    void UpdateTextColors();

    SearchTarget m_target;
};
