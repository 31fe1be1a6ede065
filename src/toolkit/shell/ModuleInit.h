// The life of the process around the program's body: module initialisation
// in dependency order, the normal halt with its exit procedures, module
// finalisation in reverse order, and the last-chance report for an error that
// escapes any of it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace velmora {

// One unit's start-up and shut-down work (either may be empty).
struct ModuleHooks {
    std::string name;
    std::function<void()> initialize;
    std::function<void()> finalize;
};

// The toolkit's own units, in initialisation order: platform layer, start-up
// deployment, UI thread, floating-point masks, visual style, component
// classes, web view service. The application object comes after the
// program's units (see RunProcess).
std::vector<ModuleHooks> ToolkitModules(platform::Platform& backend);

// Procedures the normal halt runs, last registered first (Run registers
// DoneApplication here).
void AddExitProc(std::function<void()> proc);

// Runs a whole process in this one: initialises the toolkit's units, the
// program's units and the application object, runs body, halts, and finalises
// everything that was initialised, in reverse order. The first error that
// escapes is shown in the last-chance report. Returns the exit code: 0, or 1
// after an error. The current platform is put back as it was.
int RunProcess(platform::Platform& backend, const std::vector<ModuleHooks>& programModules,
               const std::function<void()>& body);

}  // namespace velmora
