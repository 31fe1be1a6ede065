// The process entry: no arguments are read, nothing is configured.
#include "Velmora.h"

int main() {
    auto backend = velmora::platform::CreateDefaultPlatform();
    return velmora::RunVelmoraProcess(*backend);
}
