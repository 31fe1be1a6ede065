// A headless window holding one tab control, built the way a description
// builds it: everything created and set while loading, then the loaded
// notifications (the window first, every component after its children).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backends/headless/HeadlessPlatform.h"
#include "toolkit/controls/Animation.h"
#include "toolkit/controls/Button.h"
#include "toolkit/controls/TabControl.h"
#include "toolkit/controls/TabItem.h"
#include "toolkit/controls/TabItemContent.h"
#include "toolkit/controls/TabStrip.h"
#include "toolkit/controls/Theme.h"
#include "toolkit/controls/ToolkitServices.h"
#include "toolkit/forms/CustomForm.h"

namespace velmora::tabtest {

class TabTestForm : public TForm {
public:
    using TForm::TForm;
    using TCustomForm::CreateHandle;
};

// Feeds a list of singles to a defined property, as the form reader would.
class SinglesReader : public IValueReader {
public:
    explicit SinglesReader(std::vector<float> values) : values_(std::move(values)) {}
    std::int64_t ReadInteger() override { return static_cast<std::int64_t>(Next()); }
    double ReadFloat() override { return Next(); }
    float ReadSingle() override { return Next(); }
    std::string ReadString() override { return {}; }
    bool ReadBoolean() override { return false; }
    void ReadListBegin() override { inList_ = true; }
    bool EndOfList() override { return inList_ && at_ >= values_.size(); }
    void ReadListEnd() override {}
    void SkipValue() override { ++at_; }

private:
    float Next() { return at_ < values_.size() ? values_[at_++] : 0.0f; }
    std::vector<float> values_;
    std::size_t at_ = 0;
    bool inList_ = false;
};

struct PageSpec {
    std::string caption;
    bool visible = true;
    bool storedSelected = false;
};

struct Positions {
    double ms;
    float outX;
    float inX;
};

class TabFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetCurrentPlatform(&host);
        services.emplace(FixtureServices());
        realignment = ObserveNativeViewPlaces([this](IWindowRoot&) {
            ++realigns;
            if (onRealign) onRealign();
        });
    }

    void TearDown() override {
        onRealign = nullptr;
        onProcessMessages = nullptr;
        form.reset();
        realignment.Reset();
        services.reset();
        platform::SetCurrentPlatform(nullptr);
    }

    // Counts event dispatches (and, beside them, realignments); the hooks run
    // inside them.
    ToolkitServices FixtureServices() {
        ToolkitServices fixture;
        fixture.processMessages = [this] {
            ++processCalls;
            if (onProcessMessages) onProcessMessages();
            host.DispatchPending();
        };
        return fixture;
    }

    // Window 368 x 480 with a client-aligned tab control; each page holds one
    // focusable button docked at its top.
    void Build(const std::vector<PageSpec>& pageSpecs, int tabIndex = 0, std::vector<float> sizes = {},
               bool storePosition = true) {
        form = std::make_unique<TabTestForm>(nullptr);
        form->CreateHandle();
        form->SetLoading();
        form->SetReading(true);
        form->SetClientHeight(480);
        form->SetClientWidth(368);

        tabs = new TTabControl(form.get());
        tabs->SetLoading();
        tabs->SetParentComponent(form.get());
        tabs->SetName("TabControl1");
        tabs->SetAlign(TAlignLayout::Client);
        tabs->Size().SetWidth(368);
        tabs->Size().SetHeight(480);
        tabs->SetTabIndex(tabIndex);
        if (storePosition) tabs->SetTabPosition(TTabPosition::PlatformDefault);
        if (!sizes.empty()) {
            SinglesReader reader(sizes);
            EXPECT_TRUE(TTabControl::StaticClassInfo().ReadDefinedProperty(*tabs, "Sizes", reader));
        }

        for (std::size_t i = 0; i < pageSpecs.size(); ++i) {
            auto* page = new TTabItem(form.get());
            page->SetLoading();
            page->SetParentComponent(tabs);
            page->SetName("TabItem" + std::to_string(i + 1));
            page->SetIsSelected(pageSpecs[i].storedSelected);
            // Descriptions store the header size the designer laid out.
            const platform::SizeF header = theme::HeaderSizeFor(pageSpecs[i].caption);
            page->Size().SetWidth(header.width);
            page->Size().SetHeight(header.height);
            page->SetText(pageSpecs[i].caption);
            if (!pageSpecs[i].visible) page->SetVisible(false);
            pages.push_back(page);

            auto* button = new TButton(form.get());
            button->SetLoading();
            button->SetParentComponent(page);
            button->SetName("Button" + std::to_string(i + 1));
            button->SetAlign(TAlignLayout::Top);
            button->Size().SetWidth(368);
            button->Size().SetHeight(50);
            buttons.push_back(button);
        }
        form->SetReading(false);

        form->Loaded();
        for (std::size_t i = 0; i < pages.size(); ++i) {
            buttons[i]->Loaded();
            pages[i]->Loaded();
        }
        tabs->Loaded();
        form->Show();
        host.DispatchPending();
    }

    void BuildTwoPages() { Build({{"Оглавление", true, true}, {"Содержание"}}, 0, {368, 452, 368, 452}); }

    TTabItemContent& Content(int i) { return pages[static_cast<std::size_t>(i)]->Content(); }
    platform::WindowHandle Window() { return form->Handle(); }

    // The header's centre in client pixels (scale 1).
    platform::PointI HeaderCentre(int i) {
        RectF r = pages[static_cast<std::size_t>(i)]->AbsoluteRect();
        return {static_cast<int>((r.left + r.right) / 2), static_cast<int>((r.top + r.bottom) / 2)};
    }

    void PressHeader(int i) {
        platform::PointI p = HeaderCentre(i);
        host.Press(Window(), p.x, p.y);
        host.Release(Window(), p.x, p.y);
        host.DispatchPending();
    }

    void PressKey(platform::Key key, unsigned shift = platform::ShiftNone) {
        host.Key(key, shift);
        host.DispatchPending();
    }

    headless::HeadlessPlatform host;
    std::unique_ptr<TabTestForm> form;
    TTabControl* tabs = nullptr;
    std::vector<TTabItem*> pages;
    std::vector<TButton*> buttons;

    int realigns = 0;
    int processCalls = 0;
    std::function<void()> onRealign;
    std::function<void()> onProcessMessages;

private:
    std::optional<ScopedServices> services;
    Subscription realignment;
};

}  // namespace velmora::tabtest
