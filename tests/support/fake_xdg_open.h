// A stand-in for xdg-open, first on PATH while the object lives: every start records its process
// id and arguments, so a test sees what the program asked the desktop to open.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/support/scoped_environment.h"

namespace testing_support {

class FakeXdgOpen {
  public:
    struct Call {
        long pid = 0;
        // False when the start was held and Release never came (the caller waited for it).
        bool released = true;
        std::vector<std::string> arguments;
    };

    FakeXdgOpen();

    // Starts from now on wait until Release before they record anything.
    void Hold();
    void Release();

    // The calls recorded and not yet taken, once every process this one started has ended and
    // been reaped (waiting for that, within a generous limit), in no particular order.
    std::vector<Call> TakeCalls();

  private:
    TempFolder folder_{"fake-xdg-open"};
    std::optional<ScopedEnvVar> path_;
};

}  // namespace testing_support
