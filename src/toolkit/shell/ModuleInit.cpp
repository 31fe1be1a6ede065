#include "ModuleInit.h"

#include <exception>
#include <memory>

#include "Application.h"
#include "ErrorReport.h"
#include "StartupDeployment.h"
#include "VisualStyle.h"
#include "toolkit/controls/RegisterControls.h"
#include "toolkit/controls/WBFactoryService.h"
#include "toolkit/core/ClassInfo.h"

namespace velmora {

namespace {

std::vector<std::function<void()>>& ExitProcs() {
    static std::vector<std::function<void()>> procs;
    return procs;
}

}  // namespace

void AddExitProc(std::function<void()> proc) { ExitProcs().push_back(std::move(proc)); }

std::vector<ModuleHooks> ToolkitModules(platform::Platform& backend) {
    std::vector<ModuleHooks> modules;
    // Termination refuses timers for the rest of this process's run only.
    modules.push_back({"platform layer",
                       [&backend] {
                           backend.RefuseTimers(false);
                           platform::SetCurrentPlatform(&backend);
                       },
                       [&backend] {
                           platform::SetCurrentPlatform(nullptr);
                           backend.RefuseTimers(false);
                       }});
    modules.push_back({"start-up deployment", [] { DeployStartupFiles(); }, nullptr});
    modules.push_back({"UI thread",
                       [] {
                           platform::CurrentPlatform().InitializeUiThread();
                           // Initialize's hook: the thread already is an apartment, so nothing more.
                           TApplication::InitProc() = [] {};
                       },
                       [] { TApplication::InitProc() = nullptr; }});
    modules.push_back({"floating point", [] { platform::CurrentPlatform().MaskFloatingPointExceptions(); }, nullptr});
    modules.push_back({"visual style",
                       [] { SetCurrentVisualStyle(ChooseVisualStyle(platform::CurrentPlatform().GetOsVersion())); },
                       [] { SetCurrentVisualStyle(""); }});
    modules.push_back({"component classes", [] { RegisterControlClasses(); }, [] { ClassRegistry::Clear(); }});
    modules.push_back({"web view service", [] { RegisterWebBrowserService(); }, nullptr});
    return modules;
}

int RunProcess(platform::Platform& backend, const std::vector<ModuleHooks>& programModules,
               const std::function<void()>& body) {
    platform::Platform* previous = platform::CurrentPlatformOrNull();
    std::vector<ModuleHooks> modules = ToolkitModules(backend);
    modules.insert(modules.end(), programModules.begin(), programModules.end());
    modules.push_back({"application",
                       [] { Application = new TApplication(); },
                       [] {
                           delete Application;
                           Application = nullptr;
                       }});
    ExitProcs().clear();

    int exitCode = 0;
    bool reported = false;
    auto fail = [&](std::exception_ptr error) {
        exitCode = 1;
        if (reported) return;
        reported = true;
        ShowLastChanceReport(error);
    };

    std::vector<std::function<void()>> finalizers;
    try {
        for (auto& module : modules) {
            if (module.initialize) module.initialize();
            finalizers.push_back(module.finalize);
        }
        body();
    } catch (...) {
        fail(std::current_exception());
    }

    // The halt: exit procedures, last registered first.
    while (!ExitProcs().empty()) {
        auto proc = std::move(ExitProcs().back());
        ExitProcs().pop_back();
        try {
            if (proc) proc();
        } catch (...) {
            fail(std::current_exception());
        }
    }
    for (auto it = finalizers.rbegin(); it != finalizers.rend(); ++it) {
        try {
            if (*it) (*it)();
        } catch (...) {
            fail(std::current_exception());
        }
    }
    platform::SetCurrentPlatform(previous);
    return exitCode;
}

}  // namespace velmora
