#pragma once

#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <tuple>

// Largest image a skin may hold, per side in device pixels, and the most memory one decoded image may
// take. Anything beyond is refused before it is decoded.
constexpr int kSkinImageMaxSide = 8192;
constexpr int kSkinImageAllocationLimitMiB = 128;
// What a skin may cost beyond that is bounded by what its window shows. An image is refused when its
// file holds more than this many times the pixels of the window's client area at its device pixel
// ratio (never fewer than kSkinImageMinPixels), and one application of a skin decodes no more than
// kSkinDecodeBudgetBytes in all, counted at the files' own sizes: a small PNG can declare a huge picture.
constexpr int64_t kSkinImageAreaFactor = 16;
constexpr int64_t kSkinImageMinPixels = 1024 * 1024;
constexpr int64_t kSkinDecodeBudgetBytes = int64_t(48) << 20;

// The most pixels one image file may hold for a window showing shownDeviceSize.
int64_t SkinImagePixelLimit(const QSize& shownDeviceSize);
// The available area of the primary screen in device pixels: what any window can show at most.
QSize ScreenDeviceSize();

// Decodes a skin image safely: the size is checked before decoding and the decoder's allocation is
// bounded. For a device pixel ratio above 1 the "@2x" file beside it ("Play@2x.png" for "Play.png") is
// taken when it exists, and the result carries that ratio. With a valid deviceSize, a larger file is
// decoded straight down to that size, and a file of more than maxPixels pixels is refused. A missing,
// unreadable or oversized file gives a null image.
QImage ReadSkinImage(const QString& path, qreal devicePixelRatio = 1.0, const QSize& deviceSize = QSize(),
    int64_t maxPixels = int64_t(kSkinImageMaxSide) * kSkinImageMaxSide);
QPixmap ReadSkinPixmap(const QString& path, qreal devicePixelRatio = 1.0);

// The "@2x" name of an image file: before the extension, or at the end when it has none.
QString HighDensityImagePath(const QString& path);

// The path of a file named by a skin inside the skin's folder (skinFolder ends with a separator), or an
// empty string when the name is empty or the file would lie outside that folder (an absolute name, a
// ".." step, a link pointing elsewhere).
QString SkinFilePath(const QString& skinFolder, const QString& fileName);

// A skin image that may still be decoding on a worker thread. Copies share the one decode.
class CSkinPicture
{
public:
    CSkinPicture() = default;

    // The decoded image (null when refused or unreadable); waits for the decode when it runs still.
    QImage Image() const;
    bool IsRequested() const { return m_state != nullptr; }
    // The size of the file the image came from (its header), invalid when there was none.
    QSize FileSize() const;

private:
    friend class CSkinImages;
    struct State;
    std::shared_ptr<State> m_state;
};

// The images of one application of a skin: each file is decoded at most once per target size and
// scale, at that size, on the global thread pool, within the limits above for the window it is shown
// in. Names are held to the skin's own folder. UI thread only; the pictures it hands out may outlive it.
class CSkinImages
{
public:
    // shownDeviceSize: the window's client area in device pixels; invalid for the whole screen.
    explicit CSkinImages(const QString& skinFolder, const QSize& shownDeviceSize = QSize());

    CSkinImages(const CSkinImages&) = delete;
    CSkinImages& operator=(const CSkinImages&) = delete;

    void SetShownSize(const QSize& shownDeviceSize);
    // Forgets every picture and count, for the images of another skin folder.
    void Reset(const QString& skinFolder);
    QString Folder() const { return m_folder; }
    // The most pixels one file may hold for the window shown.
    int64_t PixelLimit() const { return m_pixelLimit; }

    // Starts decoding the skin's file fileName for a target of deviceSize device pixels at scale (the
    // "@2x" file above 1). The same file, size and scale again gives the same picture; an empty target
    // gets a null one.
    CSkinPicture Request(const QString& fileName, const QSize& deviceSize, qreal scale);

    // Decodes started, requests answered from earlier ones, files refused for their size or for the
    // budget, and the budget used (bytes at the files' own sizes).
    int Decodes() const { return m_decodes; }
    int Hits() const { return m_hits; }
    int Refused() const { return m_refused; }
    int64_t BudgetUsed() const { return m_budgetUsed; }

private:
    QString m_folder;
    int64_t m_pixelLimit = 0;
    int64_t m_budgetUsed = 0;
    int m_decodes = 0;
    int m_hits = 0;
    int m_refused = 0;
    std::map<std::tuple<QString, int, int, int>, CSkinPicture> m_pictures;
};
