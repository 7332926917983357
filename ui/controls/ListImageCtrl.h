#pragma once

#include <QImage>
#include <QListWidget>
#include <QSize>

// A list of square thumbnails with a label under each, at most kMaxThumbnails of them.
class CListImageCtrl : public QListWidget
{
    Q_OBJECT

public:
    static constexpr int kThumbnailSize = 104;
    static constexpr int kMaxThumbnails = 50;
    // Previews come with downloaded skins and are only ever shown as thumbnails: a file that declares
    // more pixels than this is refused before it is decoded (a small file can claim a huge picture, and
    // fifty of them are decoded while the page opens).
    static constexpr int kMaxPreviewSide = 800;

    explicit CListImageCtrl(QWidget* parent = nullptr);

    // Sets the list up for thumbnails of kThumbnailSize pixels.
    void InitImageList();
    // Adds an item with the image's thumbnail and the label; null (and nothing added) once the list is
    // full.
    QListWidgetItem* AddImage(const QString& imagePath, const QString& label);
    // The image fitted into a black square of kThumbnailSize logical pixels, centred, keeping its
    // proportions; an unreadable or oversized image leaves the square black. At a ratio above 1 the
    // square has that many pixels per logical pixel and the image's "@2x" file is used when there is one.
    static QImage MakeThumbnail(const QString& path, qreal devicePixelRatio = 1.0);
    // The image decoded straight at the size it takes in a square of side device pixels (its
    // proportions kept); null when it cannot be read or declares more than the preview bounds.
    static QImage ReadPreview(const QString& path, int side);
};
