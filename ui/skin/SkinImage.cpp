#include "ui/skin/SkinImage.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace
{

// Decodes waiting for a pool thread. The pool's task only takes the next one from here, so all that a
// decode reads is handed over under this lock, one a sanitizer can see, rather than inside Qt's pool.
// The queue is never destroyed: the pool's threads end after this file's statics would, and what orders
// the two (the pool's own wait) happens inside Qt.
struct PendingDecodes {
    std::mutex mutex;
    std::deque<std::function<void()>> queue;
};

PendingDecodes& Pending()
{
    static auto* pending = new PendingDecodes;
    return *pending;
}

void StartDecode(std::function<void()> decode)
{
    PendingDecodes& pending = Pending();
    {
        const std::lock_guard lock(pending.mutex);
        pending.queue.push_back(std::move(decode));
    }
    QThreadPool::globalInstance()->start([&pending] {
        std::function<void()> next;
        {
            const std::lock_guard lock(pending.mutex);
            if (pending.queue.empty())
                return;
            next = std::move(pending.queue.front());
            pending.queue.pop_front();
        }
        next();
    });
}

// The limit is process-wide in Qt. It is set from the UI thread only, and only when something changed
// it, so that decodes running on workers never see a write.
void EnsureAllocationLimit()
{
    if (QImageReader::allocationLimit() != kSkinImageAllocationLimitMiB)
        QImageReader::setAllocationLimit(kSkinImageAllocationLimitMiB);
}

// The size the file declares in its header, invalid when it is missing or unreadable.
QSize DeclaredSize(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return QSize();
    return QImageReader(path).size();
}

bool WithinLimits(const QSize& size, int64_t maxPixels)
{
    return size.isValid() && size.width() <= kSkinImageMaxSide && size.height() <= kSkinImageMaxSide
        && int64_t(size.width()) * size.height() <= maxPixels;
}

// Decodes the file, straight down to deviceSize when it is larger in either direction (the picture is
// drawn over exactly that many device pixels).
QImage DecodeBounded(const QString& path, const QSize& deviceSize, int64_t maxPixels)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return QImage();
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!WithinLimits(size, maxPixels))
        return QImage();
    QSize expected = size;
    if (deviceSize.isValid() && !deviceSize.isEmpty()
        && (size.width() > deviceSize.width() || size.height() > deviceSize.height())) {
        expected = deviceSize;
        reader.setScaledSize(expected);
    }
    QImage image;
    if (!reader.read(&image) || image.size() != expected)
        return QImage();
    return image;
}

} // namespace

int64_t SkinImagePixelLimit(const QSize& shownDeviceSize)
{
    const int64_t area = int64_t(std::max(shownDeviceSize.width(), 1)) * std::max(shownDeviceSize.height(), 1);
    return std::max(kSkinImageMinPixels, area * kSkinImageAreaFactor);
}

QSize ScreenDeviceSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return QSize(kSkinImageMaxSide, kSkinImageMaxSide);
    const QSize logical = screen->availableGeometry().size();
    const qreal scale = screen->devicePixelRatio();
    return QSize(int(std::ceil(logical.width() * scale)), int(std::ceil(logical.height() * scale)));
}

QString HighDensityImagePath(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot <= slash + 1)
        return path + QStringLiteral("@2x");
    return path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
}

QString SkinFilePath(const QString& skinFolder, const QString& fileName)
{
    if (skinFolder.isEmpty() || fileName.isEmpty() || QDir::isAbsolutePath(fileName))
        return QString();
    const QString folder = QDir::cleanPath(skinFolder);
    const QString path = QDir::cleanPath(skinFolder + u'/' + fileName);
    if (!path.startsWith(folder + u'/'))
        return QString();
    // A link inside the folder may still point elsewhere.
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        const QString real = info.canonicalFilePath();
        const QString realFolder = QFileInfo(folder).canonicalFilePath();
        if (real.isEmpty() || realFolder.isEmpty() || !real.startsWith(realFolder + u'/'))
            return QString();
    }
    return path;
}

QImage ReadSkinImage(const QString& path, qreal devicePixelRatio, const QSize& deviceSize, int64_t maxPixels)
{
    EnsureAllocationLimit();
    if (devicePixelRatio > 1.0) {
        QImage image = DecodeBounded(HighDensityImagePath(path), deviceSize, maxPixels);
        if (!image.isNull()) {
            image.setDevicePixelRatio(2.0);
            return image;
        }
    }
    return DecodeBounded(path, deviceSize, maxPixels);
}

QPixmap ReadSkinPixmap(const QString& path, qreal devicePixelRatio)
{
    const QImage image = ReadSkinImage(path, devicePixelRatio);
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

struct CSkinPicture::State {
    QString path;
    QSize deviceSize;
    int64_t maxPixels = 0;
    qreal ratio = 1.0;
    QSize fileSize;

    std::atomic<bool> started { false };
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    QImage image;

    // Whoever comes first decodes: a worker, or the UI thread when it needs the picture before any
    // worker took it up.
    void Run()
    {
        if (started.exchange(true))
            return;
        QImage decoded = DecodeBounded(path, deviceSize, maxPixels);
        if (!decoded.isNull())
            decoded.setDevicePixelRatio(ratio);
        Finish(std::move(decoded));
    }

    void Finish(QImage decoded)
    {
        const std::lock_guard lock(mutex);
        image = std::move(decoded);
        done = true;
        finished.notify_all();
    }
};

QImage CSkinPicture::Image() const
{
    if (!m_state)
        return QImage();
    m_state->Run();
    std::unique_lock lock(m_state->mutex);
    m_state->finished.wait(lock, [this] { return m_state->done; });
    return m_state->image;
}

QSize CSkinPicture::FileSize() const
{
    return m_state ? m_state->fileSize : QSize();
}

CSkinImages::CSkinImages(const QString& skinFolder, const QSize& shownDeviceSize)
    : m_folder(skinFolder)
{
    SetShownSize(shownDeviceSize);
}

void CSkinImages::SetShownSize(const QSize& shownDeviceSize)
{
    m_pixelLimit = SkinImagePixelLimit(shownDeviceSize.isValid() ? shownDeviceSize : ScreenDeviceSize());
}

void CSkinImages::Reset(const QString& skinFolder)
{
    m_folder = skinFolder;
    m_pictures.clear();
    m_budgetUsed = 0;
    m_decodes = 0;
    m_hits = 0;
    m_refused = 0;
}

CSkinPicture CSkinImages::Request(const QString& fileName, const QSize& deviceSize, qreal scale)
{
    const auto key = std::make_tuple(fileName, deviceSize.width(), deviceSize.height(), int(std::lround(scale * 100)));
    const auto found = m_pictures.find(key);
    if (found != m_pictures.end()) {
        ++m_hits;
        return found->second;
    }
    CSkinPicture picture;
    picture.m_state = std::make_shared<CSkinPicture::State>();
    m_pictures.emplace(key, picture);
    CSkinPicture::State& state = *picture.m_state;
    state.started = true;

    // Nothing is drawn over an empty target, so nothing is decoded for it.
    const QString path = deviceSize.isEmpty() ? QString() : SkinFilePath(m_folder, fileName);
    if (path.isEmpty()) {
        state.Finish(QImage());
        return picture;
    }
    // The "@2x" file when the scale asks for it and it can be taken, else the file itself.
    QString file = path;
    QSize declared;
    state.ratio = 1.0;
    if (scale > 1.0) {
        const QString dense = SkinFilePath(m_folder, HighDensityImagePath(fileName));
        declared = DeclaredSize(dense);
        if (WithinLimits(declared, m_pixelLimit)) {
            file = dense;
            state.ratio = 2.0;
        } else {
            declared = QSize();
        }
    }
    if (!declared.isValid())
        declared = DeclaredSize(path);
    if (!declared.isValid()) {
        state.Finish(QImage());
        return picture;
    }
    const int64_t bytes = int64_t(declared.width()) * declared.height() * 4;
    if (!WithinLimits(declared, m_pixelLimit) || m_budgetUsed + bytes > kSkinDecodeBudgetBytes) {
        ++m_refused;
        state.Finish(QImage());
        return picture;
    }
    m_budgetUsed += bytes;
    ++m_decodes;
    state.path = file;
    state.deviceSize = deviceSize;
    state.maxPixels = m_pixelLimit;
    state.fileSize = declared;
    state.started = false;
    EnsureAllocationLimit();
    StartDecode([shared = picture.m_state] { shared->Run(); });
    return picture;
}
