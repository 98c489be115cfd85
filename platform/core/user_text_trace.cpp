#include "platform/user_text_trace.h"

#include <memory>
#include <mutex>

namespace platform {
namespace {

std::mutex g_traceMutex;
std::shared_ptr<const UserTextTrace> currentTrace;

} // namespace

void SetUserTextTrace(UserTextTrace trace)
{
    auto replacement = trace ? std::make_shared<const UserTextTrace>(std::move(trace)) : nullptr;
    std::lock_guard lock(g_traceMutex);
    currentTrace = std::move(replacement);
}

void TraceUserText(std::wstring_view text)
{
    std::shared_ptr<const UserTextTrace> trace;
    {
        std::lock_guard lock(g_traceMutex);
        trace = currentTrace;
    }
    // Called outside the lock, so a trace may itself replace the trace.
    if (trace)
        (*trace)(text);
}

} // namespace platform
