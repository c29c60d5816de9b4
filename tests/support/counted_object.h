// The tests' own COM objects count their references as components do.
#pragma once

#include "platform/com_object.h"

namespace testing_support {

template <typename Interface>
using CountedObject = platform::ComObject<Interface>;

}  // namespace testing_support
