// The design's pictures, decoded, and the aiming pointer made from its icon
// at the window's scale.
#include "qt_host.h"

#include "design_pictures.h"

#include <QScreen>
#include <qpa/qplatformscreen.h>

#include <algorithm>

namespace rt {

namespace {

// X servers commonly refuse larger cursors.
constexpr int kMaxPointerSize = 256;

} // namespace

Pictures decodePictures(const FormDesign& design)
{
    Pictures pictures;
    for (const DesignPicture& p : designPictures(design))
        if (p.use == PictureUse::Painted && !pictures.count(p.path))
            pictures.emplace(p.path, QImage(qs(p.path)));
    return pictures;
}

void FormWindow::updatePointer()
{
    const FormDesign& d = form_.design();
    if (d.mouseIcon.empty())
        return;
    const QPixmap pointer(qs(d.mouseIcon));
    if (pointer.isNull())
        return;
    // The pointer grows with the window, pixel for pixel like the pictures,
    // up to the largest cursor servers commonly take. Platforms read the
    // pointer's picture in device pixels but its hot spot in their own
    // units: device pixels on X11, surface units (device pixels divided by
    // the output's scale) on Wayland, whose scale Qt takes from the
    // pixmap's ratio. Qt's own scale factor plays no part in either.
    const int largest = std::max(1, kMaxPointerSize / std::max({pointer.width(), pointer.height(), 1}));
    const int scale = std::clamp(scale_, 1, largest);
    const QScreen* on = screen();
    const int native = on && on->handle() ? std::max(1, static_cast<int>(on->handle()->devicePixelRatio())) : 1;
    QPixmap dense = scale == 1 ? pointer
                               : pointer.scaled(pointer.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    dense.setDevicePixelRatio(native);
    setCursor(QCursor(dense, d.mouseHotX * scale / native, d.mouseHotY * scale / native));
}

} // namespace rt
