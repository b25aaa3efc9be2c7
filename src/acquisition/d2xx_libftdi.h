#pragma once
// The D2XX calls over libftdi1, for a real FTDI chip on Linux. Opening a
// device detaches the kernel's ftdi_sio driver from it (its /dev/ttyUSBn goes
// away while the device is open); closing it attaches the driver again.
#include <memory>

#include "acquisition/d2xx.h"

namespace vireluz {

std::unique_ptr<D2xx> make_libftdi_d2xx();

}  // namespace vireluz
