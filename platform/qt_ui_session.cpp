#include "platform/qt_display.h"
#include "platform/ui_session.h"
#include "platform/ui_thread.h"

#include <QGuiApplication>

#include <memory>

namespace platform {
namespace {

struct Session {
    std::unique_ptr<QGuiApplication> application;   // null when the program made its own
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

} // namespace

void InitializeUi(int& argc, char** argv)
{
    Session& session = TheSession();
    if (session.display)
        return;
    if (!QCoreApplication::instance())
        session.application = std::make_unique<QGuiApplication>(argc, argv);
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

} // namespace platform
