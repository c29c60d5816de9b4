// The EMF layout (contracts/EmfLayout.h) under the names the metafile reader and the renderer
// use: record types, and the bounds-checked little-endian reading of record parameters.
#pragma once

#include "contracts/EmfLayout.h"

namespace emf {

namespace record = tessaline::contracts::emf::record;
using tessaline::contracts::emf::ByteReader;
using tessaline::contracts::emf::InRange;

}  // namespace emf
