#include "platform/ui_session.h"
#include "platform/qt/qt_display.h"
#include "platform/ui_thread.h"

#include <QGuiApplication>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace platform {
namespace {

struct Session {
    std::unique_ptr<QGuiApplication> application; // null when the program made its own
    std::shared_ptr<QtDisplay> display;

    // The program ended without ShutdownUi: the native windows go before the application.
    ~Session()
    {
        if (display)
            display->Shut();
    }
};

Session& TheSession()
{
    static Session session;
    return session;
}

std::function<int()>& DisplayLostHandler()
{
    static std::function<int()> handler;
    return handler;
}

QtMessageHandler g_qtMessageHandler = nullptr;

// Qt's xcb and wayland plugins say this just before they end the process with exit(), which
// would run the static destructors under the threads still at work.
bool SaysTheDisplayIsGone(std::string_view message)
{
    return message.starts_with("The X11 connection broke") || message.starts_with("The Wayland connection broke");
}

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (g_qtMessageHandler != nullptr)
        g_qtMessageHandler(type, context, message);
    if (!SaysTheDisplayIsGone(message.toStdString()))
        return;
    static std::atomic<bool> ending{false};
    if (ending.exchange(true))
        return;
    const std::function<int()>& handler = DisplayLostHandler();
    const int code = handler ? handler() : 1;
    std::fflush(nullptr);
    ::_exit(code);
}

} // namespace

// Qt keeps its runtime files in XDG_RUNTIME_DIR, which a desktop session always sets; started
// from a plain terminal or a service it is missing, and Qt complains on standard error. Give it
// a private folder of this user instead.
void EnsureRuntimeFolder()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != '\0')
        return;
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("installer-runtime-" + std::to_string(::getuid()))).string();
    ::mkdir(folder.c_str(), 0700);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
        (info.st_mode & 0077) == 0)
        ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

void InitializeUi(int& argc, char** argv)
{
    Session& session = TheSession();
    if (session.display)
        return;
    EnsureRuntimeFolder();
    if (!QCoreApplication::instance())
        session.application = std::make_unique<QGuiApplication>(argc, argv);
    static const bool watching = [] {
        g_qtMessageHandler = qInstallMessageHandler(OnQtMessage);
        return true;
    }();
    (void)watching;
    // Windows come and go with the program's own loops, never with Qt's.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    MarkCurrentThreadAsUi();
    session.display = std::make_shared<QtDisplay>();
    InstallDisplay(session.display);
}

void InitializeUi()
{
    static char name[] = "installer";
    static char* argv[] = {name, nullptr};
    static int argc = 1;
    InitializeUi(argc, argv);
}

void ShutdownUi()
{
    Session& session = TheSession();
    if (!session.display)
        return;
    InstallDisplay(nullptr);
    session.display->Shut();
    session.display.reset();
    session.application.reset();
}

bool UiInitialized() { return TheSession().display != nullptr; }

void SetDisplayLostHandler(std::function<int()> handler) { DisplayLostHandler() = std::move(handler); }

} // namespace platform
