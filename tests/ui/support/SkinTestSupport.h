#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QString>

class QWidget;

namespace skin_test
{

// Creates the application object once per test program (offscreen in the test environment).
void EnsureApplication();

// The staged program folder of this build, with its built-in skins.
QString StagedProgramFolder();
// Copies a staged skin folder ("Standard.kvn") into programFolder/skins/; false when it fails.
bool CopyStagedSkin(const QString& folderName, const QString& programFolder);
// Writes a settings document holding only the given XML inside the root element.
bool WriteSkinFile(const QString& path, const QString& innerXml);

// A parent background of one colour at a device pixel ratio.
QPixmap SolidBackground(const QSize& size, const QColor& color, qreal scale = 1.0);
// The widget painted into an image of its size at the given scale.
QImage Render(QWidget* widget, qreal scale = 1.0);
// Whether every pixel of the image has the same colour.
bool IsUniform(const QImage& image);

// Saves an image for a person to look at, under $KAVRILUNE_SKIN_SHOTS, when that is set.
void SaveShot(const QImage& image, const QString& name);

} // namespace skin_test
