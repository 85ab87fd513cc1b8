// The application object: title, creation of the main window, the message
// loop, the quit request, the modal message box and the error boxes. Event
// dispatch (HandleEvent) is the only place that catches exceptions.
#pragma once

#include "platform/gui/Backend.h"
#include "platform/gui/Controls.h"
#include "platform/runtime/Errors.h"

#include <functional>

namespace mirt::gui {

class TApplication {
public:
    // Installs the quit-request and alert-sound handlers of the runtime and
    // becomes the global Application; the destructor undoes both.
    explicit TApplication(TBackend& backend);
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    TBackend& Backend() { return backend_; }

    AnsiString Title;

    // Constructs the form, stores it in `reference`, then runs its Create()
    // (which may already reach the form through `reference`). If either step
    // fails, `reference` is cleared and a constructed form destroyed before
    // the error propagates. The first form created is the main form.
    template <class F>
    void CreateForm(F*& reference)
    {
        reference = nullptr;
        F* form = new F();
        reference = form;
        try {
            form->Create();
        } catch (...) {
            reference = nullptr;
            delete form;
            throw;
        }
        if (!mainForm_) {
            mainForm_ = form;
            mainFormDeleter_ = [&reference] {
                F* f = reference;
                reference = nullptr;
                delete f;
            };
        }
    }

    TForm* MainForm() const { return mainForm_; }
    // Shows the main form and processes events until a quit is requested or
    // the main form is closed.
    void Run();
    // Destroys the main form (its destructor runs) and clears its global.
    void DestroyMainForm();

    // The quit request: the current event handler finishes first, then the
    // message loop stops; a request made before the loop starts ends it at once.
    void Terminate() { quitRequested_ = true; }
    bool QuitRequested() const { return quitRequested_; }

    // Runs one event handler; an exception leaving it is shown in an error box
    // and the program goes on.
    void HandleEvent(const std::function<void()>& handler);
    void ShowException(const std::exception& error);

    // The modal message box: caption Title, one OK button, no icon.
    void MessageBox(const AnsiString& text);
    // True while no modal box is open.
    bool InputAllowed() const { return modalDepth_ == 0; }

private:
    TBackend& backend_;
    TForm* mainForm_ = nullptr;
    std::function<void()> mainFormDeleter_;
    bool quitRequested_ = false;
    int modalDepth_ = 0;
};

// The running application; nullptr outside RunProgram or a test's TApplication.
extern TApplication* Application;

// The text of an error box for a message: "." is appended when its last byte
// sorts after "." (letters, digits, double-byte characters).
AnsiString ErrorBoxText(const AnsiString& message);

// Runs a program's main block on a backend. An exception leaving it (the main
// window could not be created) shows one error box naming the kind of error
// and its message and gives exit code 1; otherwise the main form is
// destroyed and the exit code is 0.
int RunProgram(TBackend& backend, const std::function<void()>& mainBlock);

} // namespace mirt::gui
