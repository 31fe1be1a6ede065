// The program's main window built from its own description on the headless
// backend and shown, with the services an application would install.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "backends/headless/HeadlessPlatform.h"
#include "program/Unit2.h"
#include "toolkit/controls/RegisterControls.h"
#include "toolkit/controls/ToolkitServices.h"
#include "toolkit/controls/WBFactoryService.h"

namespace velmora {
void RegisterResource_TFORM2();
}

namespace velmora::testing {

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetCurrentPlatform(&host);
        services.emplace(ToolkitServices{.processMessages = [this] { host.DispatchPending(); }});
        RegisterResource_TFORM2();
        RegisterControlClasses();
        RegisterWebBrowserService();
        window = std::make_unique<TForm2>(nullptr);
        window->Create();
        window->Show();
        host.DispatchPending();
    }

    void TearDown() override {
        window.reset();
        services.reset();
        platform::SetCurrentPlatform(nullptr);
    }

    headless::HeadlessPlatform host;
    std::unique_ptr<TForm2> window;

private:
    std::optional<ScopedServices> services;
};

}  // namespace velmora::testing
