// The main window of the reader: a table of contents with one button per
// chapter and a reader page with the web view. Its layout comes from its
// description TFORM2; the class only names the components and handles the
// four chapter buttons.
#pragma once

#include "toolkit/controls/Button.h"
#include "toolkit/controls/TabControl.h"
#include "toolkit/controls/TabItem.h"
#include "toolkit/controls/WebBrowser.h"
#include "toolkit/forms/CustomForm.h"

namespace velmora {

class TForm2 : public TForm {
public:
    explicit TForm2(Component* owner);
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();

    TTabControl* TabControl1 = nullptr;
    TTabItem* TabItem1 = nullptr;
    TTabItem* TabItem2 = nullptr;
    TWebBrowser* WebBrowser1 = nullptr;
    TButton* Button1 = nullptr;
    TButton* Button2 = nullptr;
    TButton* Button3 = nullptr;
    TButton* Button4 = nullptr;

    // Each hands its chapter's address to the web view, then slides over to
    // the reader page.
    void Button1Click(Component* sender);
    void Button2Click(Component* sender);
    void Button3Click(Component* sender);
    void Button4Click(Component* sender);

private:
    void ShowChapter(const char* address);
};

extern TForm2* Form2;

}  // namespace velmora
