#pragma once

// The NTFS estimate is made where the NTFS structures are read (ntfs/NtfsEstimate.h), so that the
// NTFS scan needs nothing from this layer; the recovery layer names its runs as cluster runs.
#include "ntfs/NtfsEstimate.h"

namespace rekkon {

using ClusterRun = DataRun;  // {first cluster (-1: sparse), length in clusters}

}  // namespace rekkon
