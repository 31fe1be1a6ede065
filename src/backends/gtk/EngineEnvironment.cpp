#include "EngineEnvironment.h"

#include <string>
#include <vector>

namespace velmora::gtk {
namespace {

struct Variable {
    const char* name;
    const char* value;
};

// The toolkit draws with cairo, and the engine is told never to use the
// graphics processor (pages of text need none). GDK's probe of OpenGL at
// start-up, which loads the GL driver before the window can be shown, and
// the engine's DMA-BUF path, a few MiB set up for composited pages this
// reader never has, are therefore left out.
constexpr Variable kEngineVariables[] = {
    {"GDK_GL", "disable"},
    {"WEBKIT_DISABLE_DMABUF_RENDERER", "1"},
};

std::vector<std::string>& SetByUs() {
    static std::vector<std::string> names;
    return names;
}

}  // namespace

void SetEngineEnvironment() {
    for (const Variable& variable : kEngineVariables) {
        if (g_getenv(variable.name)) continue;
        g_setenv(variable.name, variable.value, FALSE);
        SetByUs().emplace_back(variable.name);
    }
}

void LeaveOutEngineEnvironment(GAppLaunchContext* context) {
    for (const std::string& name : SetByUs()) g_app_launch_context_unsetenv(context, name.c_str());
}

}  // namespace velmora::gtk
