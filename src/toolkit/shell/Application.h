// The application object: registry and deferred creation of the program's
// windows, the event loop of the UI thread, termination, the error policy and
// teardown. One per process, the global `Application`.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/Platform.h"
#include "toolkit/controls/ToolkitServices.h"
#include "toolkit/core/Component.h"
#include "base/Exceptions.h"
#include "toolkit/forms/CustomForm.h"

namespace velmora {

class TApplication : public Component, public platform::IWindowEvents {
public:
    // Delay of the one-shot action-update timer that each idle pass re-arms.
    static constexpr unsigned kActionUpdateDelayMs = 100;

    TApplication();
    ~TApplication() override;
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();

    // Runs the installed initialisation hook (the UI thread's apartment).
    void Initialize();
    static std::function<void()>& InitProc();

    // Registers a window class while windows are deferred; once Run has
    // created the windows, creates it at once. The reference holds the
    // instance before its constructor runs and is emptied again if the
    // construction fails.
    template <class T>
    void CreateForm(T*& reference);

    // Creates the registered windows, shows the main one and runs the loop
    // until Terminated.
    void Run();
    // One step of the event loop: a message, or an idle pass and a wait.
    // A requested termination never waits: with no message waiting, the
    // step posts the quit instead.
    void HandleMessage();
    // Dispatches every waiting message; no idle pass, no wait, errors go to
    // the caller.
    void ProcessMessages();
    // Asks the loop to end. Returns whether the application is terminating.
    bool Terminate();

    // The error policy for the error being handled (call inside a catch).
    void HandleException(Component* sender);
    void HandleException(std::exception_ptr error, Component* sender);
    void ShowException(const Exception& error);

    TCustomForm* MainForm() const { return mainForm_; }
    bool Terminated() const { return terminated_; }
    bool Terminating() const { return terminating_; }
    bool Running() const { return running_; }
    std::string Title() const;
    void SetTitle(const std::string& title);
    // The executable's file name without directory, cut at its first ".",
    // every character after the first in lower case.
    static std::string DefaultTitle(const std::string& executablePath);

    // The application's own window (taskbar entry), created and shown on
    // first use.
    platform::WindowHandle Handle();
    platform::WindowHandle HandleIfCreated() const { return handle_; }

    // Teardown registered by Run: destroys the windows, runs queued calls once more.
    void DoneApplication();

    // Calls queued for the UI thread from any thread; run at each idle pass
    // and once more in teardown.
    void Queue(std::function<void()> call);
    // Runs the queued calls; true if any ran.
    bool RunQueuedCalls();

    // Hooks the program leaves unset.
    std::function<void(Component* sender, const Exception& error)> OnException;
    std::function<void(Component* sender, bool& done)> OnIdle;
    // Asked by Terminate; any false answer keeps the application running.
    std::vector<std::function<bool()>> TerminateHooks;
    // Refreshes the actions of all windows when the action timer fires after
    // a done idle pass (the program defines no actions).
    std::function<void()> OnActionUpdate;
    std::uint64_t ActionUpdates() const { return actionUpdates_; }
    platform::TimerHandle ActionUpdateTimer() const { return actionTimer_; }

    // platform::IWindowEvents (the application's own window)
    void OnMessage(const platform::Message& message) override;
    void OnPaint(platform::ICanvas&) override {}

private:
    struct FormEntry {
        std::function<void()> create;
        std::function<void()> clearReference;
    };

    // The services installed for this object's lifetime: its own, whatever
    // was installed before it.
    ToolkitServices OwnServices();
    void CreateRegisteredForms();
    void ChooseMainForm(Component* candidate);
    void UpdateTitle();
    // One message: a quit ends the loop, anything else goes to its window.
    void Dispatch(const platform::Message& message);
    void Idle();
    void ArmActionUpdate();
    void RemoveActionUpdate();
    void ShowGenericReport(std::exception_ptr error);
    platform::MessageBoxResult ShowOnUiThread(std::function<platform::MessageBoxRequest()> makeBox);

    template <class T>
    void CreateNow(T*& reference);

    std::vector<FormEntry> registry_;
    bool windowsCreated_ = false;
    TCustomForm* mainForm_ = nullptr;
    bool terminated_ = false;
    bool terminating_ = false;
    bool running_ = false;
    bool quitRequested_ = false;
    bool doneRegistered_ = false;
    bool titleSet_ = false;
    std::string title_;
    std::string shownTitle_;
    platform::WindowHandle handle_ = 0;
    platform::TimerHandle actionTimer_ = 0;
    bool lastIdleDone_ = false;
    std::uint64_t actionUpdates_ = 0;
    std::thread::id uiThread_;
    std::mutex queueLock_;
    std::vector<std::function<void()>> queued_;
    ScopedServices services_;
};

// The process's application object; set by module initialisation.
extern TApplication* Application;

// ---- template members ------------------------------------------------------

template <class T>
void TApplication::CreateNow(T*& reference) {
    static_assert(std::is_base_of_v<Component, T>, "CreateForm takes component classes");
    void* memory = ::operator new(sizeof(T));
    // The reference names the instance before its constructor runs, so code
    // that runs during construction can already reach it.
    reference = static_cast<T*>(memory);
    T* instance = nullptr;
    try {
        instance = ::new (memory) T(this);
    } catch (...) {
        reference = nullptr;
        ::operator delete(memory);
        throw;
    }
    try {
        if constexpr (std::is_base_of_v<TCustomForm, T>) instance->Create();
    } catch (...) {
        reference = nullptr;
        delete instance;
        throw;
    }
    ChooseMainForm(instance);
}

template <class T>
void TApplication::CreateForm(T*& reference) {
    if (windowsCreated_) {
        CreateNow(reference);
        return;
    }
    T** where = &reference;
    registry_.push_back({[this, where] { CreateNow(*where); }, [where] { *where = nullptr; }});
}

}  // namespace velmora
