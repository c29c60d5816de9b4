// Test data for the layer check: the conversion reaching up into the application shell.
#pragma once

#include "app/Shell.h"
