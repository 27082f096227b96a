#include "ui/dialogs/DephtDlgCore.h"

#include <cmath>
#include <iterator>

#include "platform/NumText.h"

namespace zns {

int ScaleItemIndex(int vscale) {
    for (int i = 0; i < static_cast<int>(std::size(kScaleItems)); ++i)
        if (kScaleItems[i].data == vscale) return i;
    return -1;
}

int GammaMaxItemIndex(int gammaMax) {
    for (int i = 0; i < static_cast<int>(std::size(kGammaMaxItems)); ++i)
        if (kGammaMaxItems[i].data == gammaMax) return i;
    return -1;
}

SpeedLook SpeedLookFor(double speed, double maxSpeed, int mode) {
    SpeedLook look;
    const double limit = maxSpeed - 1.5;
    if (!(std::fabs(speed) >= limit)) return look;  // also a missing limit (NaN)
    if (mode == 10 || mode == 11) {
        const double d = (std::fabs(speed) - limit) * 256.0;
        if (d > 255.0) {
            look.color = 0x0000FF;
            look.blink = true;
        } else {
            const auto g = static_cast<uint32_t>(static_cast<int>(255.0 - d));
            look.color = 0xFFu | (g << 8);  // RGB(255, g, 0)
        }
    }
    return look;
}

std::string SerialNumberText(int serial) { return serial < 1 ? std::string("SN : -") : Format("SN: %d", serial); }

}  // namespace zns
