#include "Unit2.h"

namespace velmora {

TForm2* Form2 = nullptr;

namespace {
// The chapter table: one fixed address per button, host chosen at build time.
constexpr const char* kChapter1 = "http://" VELMORA_CHAPTER_HOST "/Nav1.html";
constexpr const char* kChapter2 = "http://" VELMORA_CHAPTER_HOST "/Nav2.html";
constexpr const char* kChapter3 = "http://" VELMORA_CHAPTER_HOST "/Nav3.html";
constexpr const char* kChapter4 = "http://" VELMORA_CHAPTER_HOST "/Nav4.html";
}  // namespace

TForm2::TForm2(Component* owner) : TForm(owner) {}

const ClassInfo& TForm2::StaticClassInfo() {
    static const ClassInfo info{
        .name = "TForm2",
        .parent = &TForm::StaticClassInfo(),
        .isComponent = true,
        .fields =
            {
                prop::Field("TabControl1", TTabControl::StaticClassInfo(), &TForm2::TabControl1),
                prop::Field("TabItem1", TTabItem::StaticClassInfo(), &TForm2::TabItem1),
                prop::Field("TabItem2", TTabItem::StaticClassInfo(), &TForm2::TabItem2),
                prop::Field("WebBrowser1", TWebBrowser::StaticClassInfo(), &TForm2::WebBrowser1),
                prop::Field("Button1", TButton::StaticClassInfo(), &TForm2::Button1),
                prop::Field("Button2", TButton::StaticClassInfo(), &TForm2::Button2),
                prop::Field("Button3", TButton::StaticClassInfo(), &TForm2::Button3),
                prop::Field("Button4", TButton::StaticClassInfo(), &TForm2::Button4),
            },
        .methods =
            {
                prop::Method("Button1Click", &TForm2::Button1Click),
                prop::Method("Button2Click", &TForm2::Button2Click),
                prop::Method("Button3Click", &TForm2::Button3Click),
                prop::Method("Button4Click", &TForm2::Button4Click),
            },
    };
    return info;
}

// No guard between the two steps: when the web view refuses the address, the
// error leaves before the slide and the table of contents stays.
void TForm2::ShowChapter(const char* address) {
    WebBrowser1->SetURL(address);
    TabControl1->Next(TTabTransition::Slide, TTabTransitionDirection::Normal);
}

void TForm2::Button1Click(Component*) { ShowChapter(kChapter1); }
void TForm2::Button2Click(Component*) { ShowChapter(kChapter2); }
void TForm2::Button3Click(Component*) { ShowChapter(kChapter3); }
void TForm2::Button4Click(Component*) { ShowChapter(kChapter4); }

}  // namespace velmora
