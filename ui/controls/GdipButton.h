#pragma once

#include "ui/skin/SkinImage.h"
#include "ui/skin/SkinnedControl.h"

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

    // Places the button from its skin section and asks the skin's images for its state images (the
    // alternate ones only when the button has them) at its size; they decode meanwhile. The pictures are
    // rebuilt after the next background copy.
    void ApplySkin(CXMLSettings& skin, CSkinImages& images, const QString& section, int x, int y, int width, int height,
        bool hasAlternate);

    void SetAlternate(bool alternate);
    bool IsAlternate() const { return m_alternate; }
    bool SetHideText(bool hide);
    bool IsTextHidden() const { return m_hideText; }
    // Images outside a skin (the logo): decoded at the button's size when first shown.
    bool SetImageNormal(const QString& path);
    bool SetImageHot(const QString& path);
    bool SetImagePressed(const QString& path);
    // An empty text creates no tool tip; activate false keeps the text but shows nothing.
    void SetTooltipText(const QString& text, bool activate = true);
    QString TooltipText() const { return m_tooltip; }

    QColor TextColor() const { return m_textColor; }
    QString ImagePath(Picture picture) const { return m_paths[picture]; }
    // The state's image as the button decoded it (null before it was first shown, or when there is none).
    const QImage& DecodedImage(Picture picture) const { return m_decoded[picture]; }
    // The picture the button shows now (built on demand).
    Picture CurrentPicture() const;
    bool IsHovered() const { return m_hover; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void OnBackgroundChanged() override;

private:
    void BuildShownPicture();
    void DiscardPictures();
    void SetImage(Picture picture, const QString& path);

    bool m_hover = false;
    bool m_alternate = false;
    bool m_hideText = false;
    QColor m_textColor = Qt::white;
    std::array<QString, PictureCount> m_paths;
    std::array<CSkinPicture, PictureCount> m_sources;
    std::array<QImage, PictureCount> m_decoded;
    std::array<bool, PictureCount> m_decodedDone {};
    std::array<QPixmap, PictureCount> m_pictures;
    QString m_tooltip;
    bool m_tooltipActive = false;
};
