#include "RegisterControls.h"

#include "Button.h"
#include "TabControl.h"
#include "TabItem.h"
#include "WebBrowser.h"
#include "toolkit/core/ClassInfo.h"

namespace velmora {

void RegisterControlClasses() {
    ClassRegistry::Register(TButton::StaticClassInfo());
    ClassRegistry::Register(TTabControl::StaticClassInfo());
    ClassRegistry::Register(TTabItem::StaticClassInfo());
    ClassRegistry::Register(TWebBrowser::StaticClassInfo());
}

}  // namespace velmora
