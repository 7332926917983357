#pragma once

#include "ui/skin/SkinnedControl.h"
#include "ui/skin/WindowDrag.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>

class CXMLSettings;

// Whether a text is a link the program opens: a well-formed http or https address with a host, or a
// mailto address. Song titles come from remote stations, so nothing else is ever opened.
bool IsUrl(const QString& text);
// Opens a link through the installed opener (the desktop's by default); false for a text that is no
// link or that could not be opened.
bool OpenUrl(const QString& text);
// Opens an existing local folder through the same opener; false for anything else.
bool OpenFolder(const QString& path);
using UrlOpener = std::function<bool(const QUrl& url)>;
// Replaces the opener (tests record instead of opening); returns the previous one.
UrlOpener SetUrlOpener(UrlOpener opener);

// The skinned text label: its text over the window background with an optional translucent fill and a
// soft glow behind the text. When its text or a given address is a link it is underlined, shows the
// hand cursor while the mouse is over it and opens the address on a click; a plain label instead moves
// the window when dragged. A double click acts as a double click on the window.
class CHyperStatic : public QWidget, public CSkinnedControl
{
    Q_OBJECT

public:
    enum Alignment { AlignLeft = 0, AlignCenter = 1, AlignRight = 2 };

    explicit CHyperStatic(QWidget* parent = nullptr);

    void ApplySkin(CXMLSettings& skin, const QString& section, int x, int y, int width, int height);
    virtual void SetText(const QString& text);
    QString Text() const { return m_text; }
    // An address opened on click instead of the text.
    void SetUrl(const QString& address);
    // The look of a label outside the skin: colours of plain text, of a link and of a link under the
    // mouse, the glow (transparent for none) and the text's cell height in pixels.
    void SetLook(const QColor& text, const QColor& link, const QColor& hover, const QColor& glow, int textSize);

    bool IsLink() const { return m_urlIsLink || m_textIsLink; }
    bool IsHovered() const { return m_hover; }
    bool IsVisited() const { return m_visited; }
    Alignment TextAlignment() const { return m_alignment; }
    QColor TextColor() const { return m_textColor; }
    QColor GlowColor() const { return m_glowColor; }
    QColor FillColor() const { return m_fillColor; }
    int TextSize() const { return m_textSize; }
    // The font text is drawn with: a cell height of TextSize() pixels, underlined for a link.
    QFont DrawingFont() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void UpdateHover(const QPoint& position);
    void UpdateHoverAtCursor();
    void SetHover(bool hover);
    void DrawGlow(QPainter& painter) const;
    void DrawLines(QPainter& painter) const;
    QColor CurrentTextColor() const;

    QString m_text;
    QString m_url;
    bool m_urlIsLink = false;
    bool m_textIsLink = false;
    bool m_hover = false;
    bool m_visited = false;
    bool m_pressedOnLink = false;
    Alignment m_alignment = AlignLeft;
    QColor m_hoverColor = QColor(200, 0, 50);
    QColor m_linkColor = QColor(0, 50, 200);
    QColor m_visitedColor = QColor(5, 34, 143);
    QColor m_textColor = QColor(10, 10, 10);
    QColor m_glowColor = QColor(255, 255, 255, 50);
    QColor m_fillColor = QColor(0, 0, 0, 0);
    int m_textSize = 13;
    CWindowDrag m_drag;
};
