// Test data for the layer check: one component reaching into another.
#pragma once

#include "components/printer/Driver.h"
