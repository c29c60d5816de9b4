// Test data for the layer check: the application shell may use the conversion.
#pragma once

#include "convert/Planted.h"
