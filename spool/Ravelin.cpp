// Ravelin: the library the virtual printer's spooler side loads and calls once per print job.
// Its one export is ConvertFile; loading and unloading it do nothing.
#include "spool/SpoolExtractor.h"

extern "C" __attribute__((visibility("default"))) int ConvertFile(void) {
    return ExtractSpoolPages();
}
