// The one scale rule of every host.
#include "scale_rule.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace rt {

int fittingScale(PixelSize client, PixelSize frame, PixelSize room, std::optional<int> ceiling)
{
    // Each side on its own: the whole scales at which it fits are those up
    // to its room, less its frame, divided by its length.
    int scale = ceiling.value_or(std::numeric_limits<int>::max());
    if (client.width > 0)
        scale = std::min(scale, (room.width - frame.width) / client.width);
    if (client.height > 0)
        scale = std::min(scale, (room.height - frame.height) / client.height);
    return std::max(1, scale);
}

int wholeScale(double ratio)
{
    // A ratio computed as 3 may come out a hair below it.
    return std::isfinite(ratio) ? std::max(1, static_cast<int>(std::floor(ratio + 1e-6))) : 1;
}

double fittingScaleOrFraction(PixelSize client, double roomWidth, double roomHeight)
{
    if (client.width <= roomWidth && client.height <= roomHeight)
        return fittingScale(client, {}, {static_cast<int>(roomWidth), static_cast<int>(roomHeight)}, std::nullopt);
    return std::min(roomWidth / client.width, roomHeight / client.height);
}

} // namespace rt
