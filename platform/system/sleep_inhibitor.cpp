#include "platform/sleep_inhibitor.h"

#include "platform/system/system_bus.h"
#include "platform/win32_strings.h"
#include "platform/win32_system.h"

#include <fcntl.h>

namespace platform {
namespace {

constexpr std::uint64_t kInhibitTimeoutUsec = 5'000'000;

void DebugLine(const std::string& line) { OutputDebugStringW(Widen(line + "\n").c_str()); }

} // namespace

SleepInhibitor SleepInhibitor::Take(const std::string& who, const std::string& why)
{
    const Bus bus = OpenSystemBus();
    if (!bus) {
        DebugLine("no system bus: sleep is not held off");
        return SleepInhibitor();
    }
    BusError error;
    sd_bus_message* rawReply = nullptr;
    sd_bus_message* rawCall = nullptr;
    if (sd_bus_message_new_method_call(bus.get(), &rawCall, "org.freedesktop.login1", "/org/freedesktop/login1",
            "org.freedesktop.login1.Manager", "Inhibit") < 0) {
        DebugLine("cannot ask logind: sleep is not held off");
        return SleepInhibitor();
    }
    const BusMessage call(rawCall);
    if (sd_bus_message_append(call.get(), "ssss", "sleep:shutdown:idle", who.c_str(), why.c_str(), "block") < 0 ||
        sd_bus_call(bus.get(), call.get(), kInhibitTimeoutUsec, &error.value, &rawReply) < 0) {
        DebugLine(std::string("logind did not take the inhibitor: ") +
            (error.value.message ? error.value.message : "no answer") + "; sleep is not held off");
        return SleepInhibitor();
    }
    const BusMessage reply(rawReply);
    int lock = -1;
    if (sd_bus_message_read(reply.get(), "h", &lock) < 0 || lock < 0) {
        DebugLine("logind's inhibitor answer does not read: sleep is not held off");
        return SleepInhibitor();
    }
    // The descriptor in the reply is the message's: a copy of our own is what is held.
    const int held = ::fcntl(lock, F_DUPFD_CLOEXEC, 3);
    if (held < 0) {
        DebugLine("cannot keep logind's inhibitor: sleep is not held off");
        return SleepInhibitor();
    }
    return SleepInhibitor(held);
}

} // namespace platform
