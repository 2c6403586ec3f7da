// The one scale rule of every host.
#include "scale_rule.h"

#include <algorithm>
#include <cmath>

namespace rt {

int fittingScale(PixelSize client, PixelSize frame, PixelSize room, std::optional<int> ceiling)
{
    // Each side on its own: the whole scales at which it fits are those up
    // to its room, less its frame, divided by its length. A side of no
    // length fits at any scale its frame leaves room for.
    constexpr int kAny = 1 << 20;
    auto most = [](int length, int frame, int room) {
        return length > 0 ? (room - frame) / length : room >= frame ? kAny : 0;
    };
    int scale = std::min(most(client.width, frame.width, room.width), most(client.height, frame.height, room.height));
    if (ceiling)
        scale = std::min(scale, *ceiling);
    return std::max(1, scale);
}

int wholeScale(double ratio)
{
    // A ratio computed as 3 may come out a hair below it.
    return std::isfinite(ratio) ? std::max(1, static_cast<int>(std::floor(ratio + 1e-6))) : 1;
}

double fittingScaleOrFraction(PixelSize client, double roomWidth, double roomHeight)
{
    const PixelSize room{static_cast<int>(std::floor(roomWidth)), static_cast<int>(std::floor(roomHeight))};
    if (client.width <= room.width && client.height <= room.height)
        return fittingScale(client, {}, room, std::nullopt);
    return std::min(roomWidth / client.width, roomHeight / client.height);
}

} // namespace rt
