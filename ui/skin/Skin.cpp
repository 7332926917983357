#include "ui/skin/Skin.h"

#include "ui/controls/GdipButton.h"
#include "ui/controls/HyperStatic.h"
#include "ui/skin/ListColor.h"
#include "ui/skin/SkinValues.h"
#include "ui/skin/WindowPlacement.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QScreen>
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

QString SkinFolderPath(const QString& baseFolder, const QString& name)
{
    if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\') || name.contains(QStringLiteral("..")))
        return QString();
    const QString skins = baseFolder + QStringLiteral("skins");
    const QString folder = skins + u'/' + name + QStringLiteral(".kvn");
    const QFileInfo info(folder);
    const QString real = info.canonicalFilePath();
    const QString realSkins = QFileInfo(skins).canonicalFilePath();
    if (!info.isDir() || real.isEmpty() || realSkins.isEmpty() || QFileInfo(real).absolutePath() != realSkins)
        return QString();
    return folder + u'/';
}

CSkin::CSkin()
    : m_settings(QString())
    , m_images(QString())
{
}

CSkin::~CSkin() = default;

bool CSkin::SetSkinPath(const QString& baseFolder, const QString& skinName, bool& expanded)
{
    m_skinFolder = SkinFolderPath(baseFolder, skinName);
    m_images.Reset(m_skinFolder);
    if (m_skinFolder.isEmpty()) {
        // Nothing is opened, and so nothing written, outside the skins folder.
        m_settingsPath.clear();
        m_settings.SetFileName(QString());
        return false;
    }
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
    QSize client = ReadSkinRect(m_settings, kWindow, 0, 0, 390, 312).size().expandedTo(QSize(1, 1));
    const int rounded = std::clamp(m_settings.GetInt(kWindow, QStringLiteral("Rounded"), 16, true), 0, kMaxRounded);
    if (!window)
        return 1;

    // No window is larger than the screen shows; its images are bounded by what it shows.
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen)
        client = client.boundedTo(screen->availableGeometry().size().expandedTo(QSize(1, 1)));
    const qreal scale = window->devicePixelRatioF();
    m_images.SetShownSize(QSize(int(std::ceil(client.width() * scale)), int(std::ceil(client.height() * scale))));

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
    button.ApplySkin(m_settings, m_images, section, x, y, width, height, hasAlternate);
}

void CSkin::ApplyLabelSkin(CHyperStatic& label, const QString& section, int x, int y, int width, int height)
{
    label.ApplySkin(m_settings, section, x, y, width, height);
}

void CSkin::PlaceControl(QWidget* control, const QString& section, int x, int y, int width, int height)
{
    if (!control)
        return;
    control->setGeometry(SkinRectWithin(ReadSkinRect(m_settings, section, x, y, width, height), control));
    control->lower();
    control->setVisible(m_settings.GetInt(section, QStringLiteral("visible"), 1, true) != 0);
}

void CSkin::Redraw(QWidget* window) const
{
    if (window && m_frame != 0)
        window->repaint();
}

SkinBackground CSkin::PaintBackground(const QString& fileName, const QSize& clientSize, qreal scale, const QColor& fill)
{
    const QSize client = clientSize.expandedTo(QSize(1, 1));
    const QSize device(int(std::ceil(client.width() * scale)), int(std::ceil(client.height() * scale)));
    SkinBackground result;
    result.picture = QPixmap(device);
    result.picture.setDevicePixelRatio(scale);
    result.picture.fill(fill);

    const CSkinPicture source = m_images.Request(fileName, device, scale);
    const QImage image = source.Image();
    if (image.isNull())
        return result;
    {
        QPainter painter(&result.picture);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.drawImage(QRectF(QPointF(0, 0), QSizeF(client)), image, QRectF(image.rect()));
    }
    // The list colour is sampled in the pixels of the plain file, whatever density the picture was
    // decoded at: the one decoded image stands for it, so nothing is decoded twice.
    QSize own = source.FileSize();
    if (image.devicePixelRatio() > 1.0) {
        const QString plain = SkinFilePath(m_skinFolder, fileName);
        const QSize plainSize = plain.isEmpty() ? QSize() : QImageReader(plain).size();
        if (plainSize.isValid())
            own = plainSize;
    }
    result.listColor = ListColorFromImage(image, client, own);
    return result;
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
