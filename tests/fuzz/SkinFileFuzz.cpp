// Skin settings files as a downloaded skin brings them: the window frame, a button and a label dressed
// from the file. Whatever the file says, sizes and places stay within the skin bounds.

#include "tests/fuzz/FuzzScratch.h"
#include "ui/controls/GdipButton.h"
#include "ui/controls/HyperStatic.h"
#include "ui/skin/Skin.h"
#include "ui/skin/SkinValues.h"

#include <QApplication>
#include <QWidget>

#include <cstdlib>

namespace
{

bool WithinBounds(const QRect& rect)
{
    return rect.width() <= kSkinMaxSize && rect.height() <= kSkinMaxSize && std::abs(rect.x()) <= kSkinMaxCoordinate
        && std::abs(rect.y()) <= kSkinMaxCoordinate;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    new QApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fuzz_support;
    static QWidget window;
    static CGdipButton button(&window);
    static CHyperStatic label(&window);

    WriteScratchFile(QStringLiteral("skins/Fuzz.kvn/skin.kvn"), data, size);
    CSkin skin;
    bool expanded = false;
    if (!skin.SetSkinPath(ScratchFolder(), QStringLiteral("Fuzz"), expanded))
        std::abort(); // the file was just written
    skin.ApplyWindowFrame(&window, QPoint(10, 10));
    skin.ApplyButtonSkin(button, QStringLiteral("Mute"), 10, 10, 40, 40, true);
    skin.ApplyLabelSkin(label, QStringLiteral("FilterLabel"), 10, 60, 200, 20);
    skin.PlaceControl(&label, QStringLiteral("FilterLabel"), 10, 60, 200, 20);
    skin.Redraw(&window);

    if (window.width() > kSkinMaxSize || window.height() > kSkinMaxSize || !WithinBounds(button.geometry())
        || !WithinBounds(label.geometry()))
        std::abort();
    return 0;
}
