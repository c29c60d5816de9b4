// Folvane: the desktop converter.
#include "app/folvane/FolvaneApp.h"

int main(int argc, char** argv) {
    CFolvaneApp app(argc, argv);
    return app.Run();
}
