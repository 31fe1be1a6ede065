// The program: what the entry point runs, and the units it brings along.
#pragma once

#include <vector>

#include "platform/Platform.h"
#include "toolkit/shell/ModuleInit.h"

namespace velmora {

// The main program's body: initialise the application, register the main
// window, run.
void Velmora();

// The program's own units for module initialisation (its resources).
std::vector<ModuleHooks> ProgramModules();

// The whole process on the given backend; returns the exit code.
int RunVelmoraProcess(platform::Platform& backend);

}  // namespace velmora
