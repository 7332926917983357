#pragma once

#include <QImage>
#include <QListWidget>

// A list of square thumbnails with a label under each, at most kMaxThumbnails of them.
class CListImageCtrl : public QListWidget
{
    Q_OBJECT

public:
    static constexpr int kThumbnailSize = 104;
    static constexpr int kMaxThumbnails = 50;

    explicit CListImageCtrl(QWidget* parent = nullptr);

    // Sets the list up for thumbnails of kThumbnailSize pixels.
    void InitImageList();
    // Adds an item with the image's thumbnail and the label; nothing once the list is full.
    void AddImage(const QString& imagePath, const QString& label);
    // The image fitted into a black square of kThumbnailSize logical pixels, centred, keeping its
    // proportions; an unreadable image leaves the square black. At a ratio above 1 the square has
    // that many pixels per logical pixel and the image's "@2x" file is used when there is one.
    static QImage MakeThumbnail(const QString& path, qreal devicePixelRatio = 1.0);
};
