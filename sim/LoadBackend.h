#pragma once
// The driver the link uses, chosen by ZNS_LOGGER among the backends: libftdi1 and
// tty (platform/d2xx) and the simulated logger (sim/SimDriver.h). It lives here,
// the lowest layer that knows all three.
#include <memory>
#include <string>
#include <string_view>

#include "platform/d2xx/D2xx.h"

namespace zns::d2xx {

struct LoadResult {
    std::shared_ptr<ID2xx> driver;  // null: no driver can be had
    std::string reason;             // why not, for logs (not an operator message)
    explicit operator bool() const { return driver != nullptr; }
};

// The driver chosen by ZNS_LOGGER.
LoadResult LoadBackend();
// The same from an explicit choice: "" (libftdi1), "sim" or "tty:PATH".
LoadResult LoadBackend(std::string_view choice);

}  // namespace zns::d2xx
