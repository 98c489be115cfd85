#include "platform/core/display.h"
#include "platform/core/immortal.h"
#include "platform/core/null_display.h"

#include <mutex>
#include <utility>

namespace platform {
namespace {

std::mutex g_displayMutex;

std::shared_ptr<Display>& InstalledDisplay()
{
    static Immortal<std::shared_ptr<Display>> display(std::make_shared<NullDisplay>());
    return display.Get();
}

} // namespace

std::shared_ptr<Display> CurrentDisplay()
{
    std::lock_guard lock(g_displayMutex);
    return InstalledDisplay();
}

void InstallDisplay(std::shared_ptr<Display> display)
{
    if (!display)
        display = std::make_shared<NullDisplay>();
    std::shared_ptr<Display> previous;
    {
        std::lock_guard lock(g_displayMutex);
        previous = std::exchange(InstalledDisplay(), std::move(display));
    }
    // `previous` is released here, outside the lock: its destructor may close native windows.
}

} // namespace platform
