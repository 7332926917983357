#include "tests/ui/support/SkinTestSupport.h"

#include "tests/support/TestPaths.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QWidget>

namespace skin_test
{

void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "kavrilune_ui_tests";
    static char* argv[] = { name, nullptr };
    if (!QApplication::instance())
        new QApplication(argc, argv);
}

QString StagedProgramFolder()
{
    return testing_support::BinaryDir() + QStringLiteral("/Kavrilune/");
}

bool CopyStagedSkin(const QString& folderName, const QString& programFolder)
{
    const QDir source(StagedProgramFolder() + QStringLiteral("skins/") + folderName);
    const QString target = programFolder + QStringLiteral("skins/") + folderName + u'/';
    if (!source.exists() || !QDir().mkpath(target))
        return false;
    for (const QString& name : source.entryList(QDir::Files)) {
        QFile::remove(target + name);
        if (!QFile::copy(source.filePath(name), target + name))
            return false;
        QFile(target + name).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    return true;
}

bool WriteSkinFile(const QString& path, const QString& innerXml)
{
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    return testing_support::WriteBytes(path,
        QStringLiteral("<?xml version=\"1.0\" ?><XMLConfigSettings>%1</XMLConfigSettings>").arg(innerXml).toUtf8());
}

QPixmap SolidBackground(const QSize& size, const QColor& color, qreal scale)
{
    QPixmap pixmap(size * scale);
    pixmap.fill(color);
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
}

QImage Render(QWidget* widget, qreal scale)
{
    QImage image(widget->size() * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    return image;
}

bool IsUniform(const QImage& image)
{
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
            if (pixels.pixel(x, y) != pixels.pixel(0, 0))
                return false;
    return true;
}

void SaveShot(const QImage& image, const QString& name)
{
    const QString folder = qEnvironmentVariable("KAVRILUNE_SKIN_SHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    image.save(folder + u'/' + name + QStringLiteral(".png"));
}

} // namespace skin_test
