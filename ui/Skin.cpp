#include "ui/Skin.h"

#include "ui/GdipButton.h"
#include "ui/HyperStatic.h"
#include "ui/SkinValues.h"
#include "ui/WindowPlacement.h"

#include <QFileInfo>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace
{

const QString kWindow = QStringLiteral("Window");
constexpr int kMaxRounded = 512;

bool IsReadableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

} // namespace

CSkin::CSkin()
    : m_settings(QString())
{
}

CSkin::~CSkin() = default;

bool CSkin::SetSkinPath(const QString& baseFolder, const QString& skinName, bool& expanded)
{
    m_skinFolder = baseFolder + QStringLiteral("skins/") + skinName + QStringLiteral(".kvn/");
    if (expanded) {
        m_settingsPath = m_skinFolder + QStringLiteral("skin2.kvn");
        if (!IsReadableFile(m_settingsPath)) {
            expanded = false;
            m_settingsPath = m_skinFolder + QStringLiteral("skin.kvn");
        }
    } else {
        m_settingsPath = m_skinFolder + QStringLiteral("skin.kvn");
    }
    m_settings.SetFileName(m_settingsPath);
    return IsReadableFile(m_settingsPath);
}

int CSkin::ApplyWindowFrame(QWidget* window, const QPoint& position)
{
    m_frame = m_settings.GetInt(kWindow, QStringLiteral("Frame"), 1, true);
    const QSize client = ReadSkinRect(m_settings, kWindow, 0, 0, 390, 312).size().expandedTo(QSize(1, 1));
    const int rounded = std::clamp(m_settings.GetInt(kWindow, QStringLiteral("Rounded"), 16, true), 0, kMaxRounded);
    if (!window)
        return 1;

    // Changing the flags hides the window; it is hidden for its placement anyway.
    Qt::WindowFlags flags = window->windowFlags() | Qt::Window;
    flags.setFlag(Qt::FramelessWindowHint, m_frame == 0);
    if (flags != window->windowFlags())
        window->setWindowFlags(flags);
    window->setFixedSize(client);

    const RECT rect { position.x(), position.y(), position.x() + client.width(), position.y() + client.height() };
    PlaceWindowRect(window, rect);

    if (m_frame != 0)
        window->clearMask();
    else
        window->setMask(RoundedWindowRegion(client, rounded));
    return 1;
}

void CSkin::ApplyButtonSkin(
    CGdipButton& button, const QString& section, int x, int y, int width, int height, bool hasAlternate)
{
    button.ApplySkin(m_settings, m_skinFolder, section, x, y, width, height, hasAlternate);
}

void CSkin::ApplyLabelSkin(CHyperStatic& label, const QString& section, int x, int y, int width, int height)
{
    label.ApplySkin(m_settings, section, x, y, width, height);
}

void CSkin::PlaceControl(QWidget* control, const QString& section, int x, int y, int width, int height)
{
    if (!control)
        return;
    control->setGeometry(ReadSkinRect(m_settings, section, x, y, width, height));
    control->lower();
    control->setVisible(m_settings.GetInt(section, QStringLiteral("visible"), 1, true) != 0);
}

void CSkin::Redraw(QWidget* window) const
{
    if (window && m_frame != 0)
        window->repaint();
}

QRegion RoundedWindowRegion(const QSize& size, int rounded)
{
    const int width = size.width();
    const int height = size.height();
    if (width <= 0 || height <= 0)
        return QRegion();
    const double radius = std::min({ std::clamp(rounded, 0, kMaxRounded) / 2.0, width / 2.0, height / 2.0 });
    auto inset = [&](int row) {
        double dy = 0.0;
        if (row < radius)
            dy = radius - (row + 0.5);
        else if (row >= height - radius)
            dy = (row + 0.5) - (height - radius);
        else
            return 0;
        return int(std::floor(radius - std::sqrt(std::max(0.0, radius * radius - dy * dy)) + 0.5));
    };
    QRegion region;
    int start = 0;
    int current = inset(0);
    for (int row = 1; row <= height; ++row) {
        const int next = row < height ? inset(row) : -1;
        if (next == current)
            continue;
        if (width - 2 * current > 0)
            region += QRect(current, start, width - 2 * current, row - start);
        start = row;
        current = next;
    }
    return region;
}
