#include <cstdlib>

#include "platform/Clock.h"
#include "sim/LoadBackend.h"
#include "sim/SimDriver.h"

namespace zns::d2xx {

LoadResult LoadBackend() {
    const char* env = std::getenv("ZNS_LOGGER");
    return LoadBackend(env ? std::string_view(env) : std::string_view());
}

LoadResult LoadBackend(std::string_view choice) {
    LoadResult r;
    if (choice.empty()) {
        r.driver = MakeFtdiDriver();
        if (!r.driver) r.reason = "libftdi1: libusb could not be started";
    } else if (choice == "sim") {
        r.driver = MakeSimDriver(ProcessSimLogger(), DefaultClock());
    } else if (choice.rfind("tty:", 0) == 0 && choice.size() > 4) {
        r.driver = MakeTtyDriver(std::string(choice.substr(4)));
    } else {
        r.reason = "ZNS_LOGGER: unknown choice \"" + std::string(choice) +
                   "\" (leave it unset, or use sim or tty:PATH)";
    }
    return r;
}

}  // namespace zns::d2xx
