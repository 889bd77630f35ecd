// The driver object and its entry table: what GeTDriver hands the host.
#pragma once

#include "smartdriver/entries.h"

namespace sd::driver {

// A new driver object whose first word is the address of entry 0 of the one table.
TSmartDriver* NewDriver();

// The version text that entry 1 writes.
inline constexpr char kVersionText[] = "v1.9Vantrel 5121";

}  // namespace sd::driver
