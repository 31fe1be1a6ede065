#include "RegisterControls.h"

#include "Button.h"
#include "toolkit/core/ClassInfo.h"

#if __has_include("TabControl.h")
#include "TabControl.h"
#endif
#if __has_include("TabItem.h")
#include "TabItem.h"
#endif
#if __has_include("WebBrowser.h")
#include "WebBrowser.h"
#endif

namespace velmora {

void RegisterControlClasses() {
    ClassRegistry::Register(TButton::StaticClassInfo());
#if __has_include("TabControl.h")
    ClassRegistry::Register(TTabControl::StaticClassInfo());
#endif
#if __has_include("TabItem.h")
    ClassRegistry::Register(TTabItem::StaticClassInfo());
#endif
#if __has_include("WebBrowser.h")
    ClassRegistry::Register(TWebBrowser::StaticClassInfo());
#endif
}

}  // namespace velmora
