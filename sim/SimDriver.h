#pragma once
// The simulated logger as a D2XX backend: the simulator's face of the driver
// interface (platform/d2xx/D2xx.h), beside the device model it drives.
#include <memory>
#include <string>

#include "platform/d2xx/D2xx.h"

namespace zns {
class IClock;
namespace sim {
class SimLogger;
}
}  // namespace zns

namespace zns::d2xx {

struct SimIdentity {
    uint16_t VendorId = kFtdiVendorId;
    uint16_t ProductId = kLoggerProductId;
    std::string Description = kLoggerDescription;
    std::string SerialNumber = "QK-00000001";
};
// The simulated logger as the one device of the list while it is plugged in. Reads wait
// on `clock` in steps of the latency timer, so with a FakeClock a time-out costs no real
// time. `logger` and `clock` must outlive the driver.
std::shared_ptr<ID2xx> MakeSimDriver(zns::sim::SimLogger& logger, IClock& clock,
                                     SimIdentity identity = {});

// The process-wide simulated logger behind ZNS_LOGGER=sim (real clock), created on
// first use; the program may steer it (winch, faults).
zns::sim::SimLogger& ProcessSimLogger();

}  // namespace zns::d2xx
