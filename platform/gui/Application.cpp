#include "platform/gui/Application.h"

#include "platform/runtime/System.h"

namespace mirt::gui {

TApplication* Application = nullptr;

namespace {

// Counts an open modal box for as long as it is open.
class TModalScope {
public:
    explicit TModalScope(int& depth) : depth_(depth) { ++depth_; }
    ~TModalScope() { --depth_; }
    TModalScope(const TModalScope&) = delete;
    TModalScope& operator=(const TModalScope&) = delete;

private:
    int& depth_;
};

} // namespace

TApplication::TApplication(TBackend& backend) : backend_(backend)
{
    Application = this;
    SetQuitRequestHandler([this] { Terminate(); });
    SetAlertSoundHandler([this] { backend_.AlertSound(); });
}

TApplication::~TApplication()
{
    DestroyMainForm();
    SetQuitRequestHandler(nullptr);
    SetAlertSoundHandler(nullptr);
    if (Application == this) Application = nullptr;
}

void TApplication::Run()
{
    if (!mainForm_) return;
    mainForm_->Show();
    backend_.RunMessageLoop();
}

void TApplication::DestroyMainForm()
{
    if (!mainFormDeleter_) return;
    auto deleter = std::move(mainFormDeleter_);
    mainFormDeleter_ = nullptr;
    mainForm_ = nullptr;
    deleter();
}

AnsiString ErrorBoxText(const AnsiString& message)
{
    AnsiString text = message;
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
    return text;
}

void TApplication::ShowException(const std::exception& error)
{
    TModalScope modal(modalDepth_);
    backend_.ErrorBox(Title, ErrorBoxText(error.what()));
}

void TApplication::HandleEvent(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const Exception& error) {
        ShowException(error);
    } catch (const std::exception& error) {
        ShowException(error);
    }
}

void TApplication::MessageBox(const AnsiString& text)
{
    TModalScope modal(modalDepth_);
    backend_.MessageBox(Title, text);
}

namespace {

AnsiString StartupErrorText(const char* kind, const char* message)
{
    return ErrorBoxText(AnsiString(kind) + ": " + message);
}

} // namespace

int RunProgram(TBackend& backend, const std::function<void()>& mainBlock)
{
    TApplication application(backend);
    AnsiString failure;
    try {
        mainBlock();
    } catch (const Exception& error) {
        failure = StartupErrorText(error.ClassName(), error.what());
    } catch (const std::exception& error) {
        failure = StartupErrorText("Exception", error.what());
    }
    if (!failure.empty()) {
        application.DestroyMainForm();
        backend.ErrorBox("Error", failure);
        return 1;
    }
    application.DestroyMainForm();
    return 0;
}

} // namespace mirt::gui
