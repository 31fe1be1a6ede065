#include "Application.h"

#include <future>

#include "ErrorReport.h"
#include "ModuleInit.h"

namespace velmora {

TApplication* Application = nullptr;

namespace {

platform::Platform& P() { return platform::CurrentPlatform(); }

// Lower case for ASCII and the Cyrillic letters; other text stays as it is.
void AppendLower(std::string& out, const std::string& in, std::size_t& i) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    if (c < 0x80) {
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
        ++i;
        return;
    }
    std::size_t len = (c >= 0xF0) ? 4 : (c >= 0xE0) ? 3 : (c >= 0xC0) ? 2 : 1;
    if (i + len > in.size()) len = in.size() - i;
    if (len == 2) {
        unsigned cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(in[i + 1]) & 0x3Fu);
        if (cp >= 0x410 && cp <= 0x42F) cp += 0x20;        // А..Я
        else if (cp >= 0x400 && cp <= 0x40F) cp += 0x50;   // Ѐ..Џ
        else if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) cp += 0x20;  // Latin-1 capitals
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out.append(in, i, len);
    }
    i += len;
}

}  // namespace

const ClassInfo& TApplication::StaticClassInfo() {
    static const ClassInfo info{.name = "TApplication", .parent = &Component::StaticClassInfo(), .isComponent = true};
    return info;
}

TApplication::TApplication() : Component(nullptr), uiThread_(std::this_thread::get_id()), services_(OwnServices()) {}

ToolkitServices TApplication::OwnServices() {
    ToolkitServices services;
    services.ownerWindow = [this] { return Handle(); };
    services.mainFormClosed = [this](IWindowRoot& window) {
        if (&window != static_cast<IWindowRoot*>(mainForm_)) return false;
        Terminate();
        return true;
    };
    services.captionChanged = [this](IWindowRoot& window) {
        if (&window == static_cast<IWindowRoot*>(mainForm_)) UpdateTitle();
    };
    services.messageFailed = [this](std::exception_ptr error, IWindowRoot& window) {
        HandleException(error, &window.WindowComponent());
    };
    services.processMessages = [this] { ProcessMessages(); };
    services.isClosing = [this] { return terminating_ || terminated_; };
    return services;
}

TApplication::~TApplication() {
    BeginDestruction();
    DestroyComponents();
    RemoveActionUpdate();
    if (handle_) {
        P().DestroyNativeWindow(handle_);
        handle_ = 0;
    }
    if (Application == this) Application = nullptr;
}

std::function<void()>& TApplication::InitProc() {
    static std::function<void()> proc;
    return proc;
}

void TApplication::Initialize() {
    if (InitProc()) InitProc()();
}

// ---- title -------------------------------------------------------------------

std::string TApplication::DefaultTitle(const std::string& executablePath) {
    std::size_t slash = executablePath.find_last_of("/\\");
    std::string name = slash == std::string::npos ? executablePath : executablePath.substr(slash + 1);
    std::size_t dot = name.find('.');
    if (dot != std::string::npos) name.resize(dot);
    if (name.empty()) return name;
    std::size_t first = 1;
    while (first < name.size() && (static_cast<unsigned char>(name[first]) & 0xC0) == 0x80) ++first;
    std::string out = name.substr(0, first);
    for (std::size_t i = first; i < name.size();) AppendLower(out, name, i);
    return out;
}

std::string TApplication::Title() const { return titleSet_ ? title_ : DefaultTitle(P().ExecutablePath()); }

void TApplication::SetTitle(const std::string& title) {
    title_ = title;
    titleSet_ = true;
    UpdateTitle();
}

void TApplication::UpdateTitle() {
    if (!handle_) return;
    std::string text = (!titleSet_ && mainForm_) ? mainForm_->Caption() : Title();
    if (text == shownTitle_) return;
    shownTitle_ = text;
    P().SetWindowTitle(handle_, text);
}

platform::WindowHandle TApplication::Handle() {
    if (handle_) return handle_;
    platform::WindowCreateParams params;
    params.kind = platform::WindowKind::Application;
    params.owner = 0;
    params.title = Title();
    handle_ = P().CreateNativeWindow(params, this);
    shownTitle_ = params.title;
    P().ShowWindow(handle_);
    return handle_;
}

void TApplication::OnMessage(const platform::Message& message) {
    switch (message.kind) {
    case platform::MessageKind::Close:
        // The taskbar entry's close goes to the main window.
        if (mainForm_) mainForm_->Close();
        break;
    case platform::MessageKind::Activate:
        // The application became active: its active window, else the main one.
        if (mainForm_ && mainForm_->Handle()) {
            platform::WindowHandle active = P().ActiveWindow();
            if (!active || active == handle_) P().ActivateWindow(mainForm_->Handle());
        }
        break;
    default: break;
    }
}

// ---- creation and the loop ------------------------------------------------------

void TApplication::ChooseMainForm(Component* candidate) {
    if (mainForm_) return;
    auto* form = dynamic_cast<TCustomForm*>(candidate);
    if (!form) return;
    mainForm_ = form;
}

void TApplication::CreateRegisteredForms() {
    // Entries registered while this runs (by a constructor) are created too.
    for (std::size_t i = 0; i < registry_.size(); ++i) {
        auto create = registry_[i].create;
        create();
    }
    windowsCreated_ = true;
}

void TApplication::Run() {
    if (!doneRegistered_) {
        doneRegistered_ = true;
        AddExitProc([this] { DoneApplication(); });
    }
    running_ = true;
    CreateRegisteredForms();
    UpdateTitle();
    if (mainForm_) mainForm_->SetVisible(true);
    UpdateTitle();
    do {
        try {
            HandleMessage();
        } catch (...) {
            HandleException(std::current_exception(), this);
        }
    } while (!terminated_);
    running_ = false;
}

void TApplication::HandleMessage() {
    platform::Message message;
    if (P().PeekMessage(message)) {
        Dispatch(message);
        return;
    }
    // A termination accepted where no dispatch of this loop returned (a
    // queued cross-thread call, an error that left the close's dispatch)
    // would otherwise block the loop until some unrelated message arrived:
    // the window stays and the program runs on, and only a second close
    // seems to work.
    if (quitRequested_ && !terminated_) {
        P().PostQuitMessage();
        return;
    }
    Idle();
}

void TApplication::Dispatch(const platform::Message& message) {
    if (message.kind == platform::MessageKind::Quit) {
        terminated_ = true;
        return;
    }
    P().DispatchMessage(message);
    if (quitRequested_) P().PostQuitMessage();
}

void TApplication::Idle() {
    bool done = true;
    if (OnIdle) OnIdle(this, done);
    if (done) ArmActionUpdate();
    if (RunQueuedCalls()) done = false;
    lastIdleDone_ = done;
    if (done) P().WaitMessage();
}

void TApplication::ArmActionUpdate() {
    if (actionTimer_ || terminating_) return;
    actionTimer_ = P().CreateTimer(kActionUpdateDelayMs, false, [this] {
        actionTimer_ = 0;
        if (lastIdleDone_) {
            ++actionUpdates_;
            if (OnActionUpdate) OnActionUpdate();
        }
    });
}

void TApplication::RemoveActionUpdate() {
    if (!actionTimer_) return;
    platform::TimerHandle t = actionTimer_;
    actionTimer_ = 0;
    P().KillTimer(t);
}

void TApplication::ProcessMessages() {
    platform::Message message;
    while (P().PeekMessage(message)) Dispatch(message);
}

bool TApplication::Terminate() {
    if (terminating_) return true;
    for (auto& hook : TerminateHooks)
        if (hook && !hook()) return false;
    RemoveActionUpdate();
    running_ = false;
    terminating_ = true;
    P().RefuseTimers(true);
    quitRequested_ = true;
    return true;
}

// ---- queued calls ----------------------------------------------------------------------

void TApplication::Queue(std::function<void()> call) {
    std::lock_guard<std::mutex> lock(queueLock_);
    queued_.push_back(std::move(call));
}

bool TApplication::RunQueuedCalls() {
    std::vector<std::function<void()>> calls;
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        calls.swap(queued_);
    }
    for (auto& call : calls)
        if (call) call();
    return !calls.empty();
}

// ---- teardown -----------------------------------------------------------------------------

void TApplication::DoneApplication() {
    RemoveActionUpdate();
    auto references = registry_;
    mainForm_ = nullptr;
    DestroyComponents();
    // The references would otherwise name destroyed windows.
    for (auto& entry : references) entry.clearReference();
    RunQueuedCalls();
}

// ---- errors -----------------------------------------------------------------------------------

void TApplication::HandleException(Component* sender) { HandleException(std::current_exception(), sender); }

void TApplication::HandleException(std::exception_ptr error, Component* sender) {
    if (!error) return;
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        return;
    } catch (const Exception& e) {
        if (OnException) OnException(sender, e);
        else ShowException(e);
    } catch (...) {
        ShowGenericReport(error);
    }
}

platform::MessageBoxResult TApplication::ShowOnUiThread(std::function<platform::MessageBoxRequest()> makeBox) {
    if (std::this_thread::get_id() == uiThread_) return P().ShowMessageBox(makeBox());
    // Another thread hands the box to the UI thread and waits for the user.
    // No wake-up is posted: the backend's queue belongs to the UI thread, and
    // the idle loop wakes by itself within the action-update delay.
    auto done = std::make_shared<std::promise<platform::MessageBoxResult>>();
    auto result = done->get_future();
    Queue([makeBox, done] {
        try {
            done->set_value(P().ShowMessageBox(makeBox()));
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    });
    return result.get();
}

void TApplication::ShowException(const Exception& error) {
    ErrorDescription d;
    d.message = error.Message();
    d.isToolkitError = true;
    d.innermostMessage = InnermostMessage(error.Inner());
    std::string text = ErrorBoxText(d);
    ShowOnUiThread([this, text] {
        platform::MessageBoxRequest box;
        platform::WindowHandle active = P().ActiveWindow();
        box.owner = active ? active : Handle();
        box.caption = "Error";
        box.text = text;
        box.icon = platform::MessageBoxIcon::Error;
        box.buttons = platform::MessageBoxButtons::Ok;
        return box;
    });
}

void TApplication::ShowGenericReport(std::exception_ptr error) {
    std::string text = LastChanceText(DescribeError(error));
    ShowOnUiThread([text] {
        platform::MessageBoxRequest box;
        box.owner = 0;
        box.caption = "Application Error";
        box.text = text;
        box.icon = platform::MessageBoxIcon::Error;
        box.buttons = platform::MessageBoxButtons::Ok;
        box.taskModal = true;
        return box;
    });
}

}  // namespace velmora
