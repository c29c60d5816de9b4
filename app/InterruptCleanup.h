// What a program must put right when it is ended from outside (Ctrl-C, SIGTERM, SIGHUP) or
// crashes: the user's default printer above all. The cleanup runs on a thread of its own, not in
// the signal handler, so it may take locks and write files; the process then ends as the signal
// would have ended it.
#pragma once

#include <functional>

// Installs the handlers; `cleanup` runs at most once. Call it once, early in main.
void InstallInterruptCleanup(std::function<void()> cleanup);
