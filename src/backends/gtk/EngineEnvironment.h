// Variables this backend sets in its own environment for GTK and the web
// engine. They are meant for this process alone: a program we launch (the
// desktop's browser for a link to another host) inherits the environment,
// and a browser told to do without OpenGL would be slower for no reason.
#pragma once

#include <gio/gio.h>

namespace velmora::gtk {

// Before gtk_init. A variable the user has already set keeps the user's value
// and is not counted as ours.
void SetEngineEnvironment();

// Takes the variables SetEngineEnvironment set out of what context passes to
// the programs it launches.
void LeaveOutEngineEnvironment(GAppLaunchContext* context);

}  // namespace velmora::gtk
