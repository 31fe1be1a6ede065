// A headless platform and a form built the way a description builds one:
// properties set while the form is loading, then the loaded notification.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "backends/headless/HeadlessPlatform.h"
#include "toolkit/controls/Button.h"
#include "base/Exceptions.h"
#include "toolkit/forms/CustomForm.h"

namespace velmora::testing {

class TestForm : public TForm {
public:
    using TForm::TForm;
    using TCustomForm::ApplyDpi;
    using TCustomForm::CreateHandle;

    // Native window first, then "reading": client size and content while
    // loading, then Loaded().
    void Build(float clientWidth, float clientHeight, const std::function<void(TestForm&)>& content = {}) {
        CreateHandle();
        SetLoading();
        SetReading(true);
        SetLeft(0);
        SetTop(0);
        SetCaption("Test");
        SetClientHeight(clientHeight);
        SetClientWidth(clientWidth);
        if (content) content(*this);
        SetReading(false);
        Loaded();
    }

    TButton* AddButton(TControl* parent, const std::string& name, TAlignLayout align, float y, float height,
                       int tabOrder) {
        auto* b = new TButton(this);
        b->SetParentComponent(parent ? static_cast<Component*>(parent) : this);
        b->SetName(name);
        b->SetAlign(align);
        b->Position().SetY(y);
        b->Size().SetWidth(100);
        b->Size().SetHeight(height);
        b->SetTabOrder(tabOrder);
        b->Loaded();
        return b;
    }
};

class HeadlessTest : public ::testing::Test {
protected:
    void SetUp() override { platform::SetCurrentPlatform(&host); }
    void TearDown() override {
        form.reset();
        platform::SetCurrentPlatform(nullptr);
    }

    TestForm& MakeForm(int dpi = 96) {
        host.DefaultDpi = dpi;
        form = std::make_unique<TestForm>(nullptr);
        return *form;
    }

    platform::SizeI ClientPixels() { return host.GetClientSize(form->Handle()); }
    platform::RectI OuterPixels() { return host.GetWindowBounds(form->Handle()); }

    headless::HeadlessPlatform host;
    std::unique_ptr<TestForm> form;
};

}  // namespace velmora::testing
