// Bringing the UI up and down. main() creates a UiSession (or calls InitializeUi) before any
// window exists, on the thread that will run every window: it creates the QGuiApplication
// (unless the program made one already) and shows windows through Qt from then on. Without it
// windows exist only inside the platform layer and nothing appears on screen.
//
// Qt picks its platform from QT_QPA_PLATFORM (xcb, wayland, offscreen for tests) as usual.
#pragma once

#include <functional>

namespace platform {

// The calling thread becomes the UI thread. `argc` and `argv` must outlive the session (Qt
// keeps them). A second call does nothing.
void InitializeUi(int& argc, char** argv);
// The same with a program name only, for tests and tools.
void InitializeUi();
// Closes the native windows and ends the QGuiApplication if InitializeUi made it. Windows that
// still exist stay in the platform layer, without native windows. UI thread only.
void ShutdownUi();
bool UiInitialized();
// Gives Qt a private runtime folder when XDG_RUNTIME_DIR is not set (InitializeUi does this;
// code that makes a QGuiApplication of its own calls it first).
void EnsureRuntimeFolder();

// What happens when the connection to the window system is lost (the X server or the
// compositor ended): the toolkit cannot go on and would end the process in the middle of its
// loop, with every thread still running. Instead `handler` is called on the UI thread (to stop
// what works in the background and let go of what it holds); what it returns is the exit
// code, and the process ends at once, without unwinding. Without a handler, exit code 1.
void SetDisplayLostHandler(std::function<int()> handler);

class UiSession {
public:
    UiSession(int& argc, char** argv) { InitializeUi(argc, argv); }
    UiSession() { InitializeUi(); }
    ~UiSession() { ShutdownUi(); }
    UiSession(const UiSession&) = delete;
    UiSession& operator=(const UiSession&) = delete;
};

} // namespace platform
