// Makes every control class of the toolkit creatable by name, for the form
// reader. Called once at start-up, before any window is created.
#pragma once

namespace velmora {

void RegisterControlClasses();

}  // namespace velmora
