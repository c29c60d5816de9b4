// Test data for the layer check: a component's own header.
#pragma once
