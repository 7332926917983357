#pragma once

#include "ui/SkinnedControl.h"

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>
#include <QString>
#include <array>

class CXMLSettings;
class QFontMetrics;

// The caption a button shows: its first 63 characters, shortened in the middle to fit the width.
QString ButtonCaption(const QString& text, const QFontMetrics& metrics, int width);

// The skinned push button: one of six pictures (normal, hot, pressed, and the same three for the
// alternate state the owner switches, e.g. playing or muted), each an image scaled over the window
// background under the button, with an optional caption. Hovering shows the tool tip at once.
class CGdipButton : public QAbstractButton, public CSkinnedControl
{
    Q_OBJECT

public:
    // The pictures in the order they are built.
    enum Picture { Normal, Pressed, Hot, AltNormal, AltPressed, AltHot, PictureCount };

    // How long the tool tip stays, in milliseconds.
    static constexpr int kTooltipMs = 2000;

    explicit CGdipButton(QWidget* parent = nullptr);

    // Places the button from its skin section and takes its image names (relative to skinFolder, which
    // ends with a separator); the alternate images only when the button has them. The pictures are
    // rebuilt after the next background copy.
    void ApplySkin(CXMLSettings& skin, const QString& skinFolder, const QString& section, int x, int y, int width,
        int height, bool hasAlternate);

    void SetAlternate(bool alternate);
    bool IsAlternate() const { return m_alternate; }
    bool SetHideText(bool hide);
    bool IsTextHidden() const { return m_hideText; }
    bool SetImageNormal(const QString& path);
    bool SetImageHot(const QString& path);
    bool SetImagePressed(const QString& path);
    // An empty text creates no tool tip; activate false keeps the text but shows nothing.
    void SetTooltipText(const QString& text, bool activate = true);
    QString TooltipText() const { return m_tooltip; }

    QColor TextColor() const { return m_textColor; }
    QString ImagePath(Picture picture) const { return m_paths[picture]; }
    // The picture the button shows now (built on demand).
    Picture CurrentPicture() const;
    bool IsHovered() const { return m_hover; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void OnBackgroundChanged() override;

private:
    void BuildMissingPictures();
    void DiscardPictures();

    bool m_hover = false;
    bool m_alternate = false;
    bool m_hideText = false;
    QColor m_textColor = Qt::white;
    std::array<QString, PictureCount> m_paths;
    std::array<QPixmap, PictureCount> m_pictures;
    QString m_tooltip;
    bool m_tooltipActive = false;
};
