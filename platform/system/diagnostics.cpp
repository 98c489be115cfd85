#include "platform/diagnostics.h"

#include <iostream>
#include <mutex>
#include <utility>

namespace platform {
namespace {

struct SinkSlot {
    std::mutex mutex;
    DiagnosticSink sink;
};

SinkSlot& Slot()
{
    static SinkSlot slot;
    return slot;
}

} // namespace

void WriteDiagnosticLine(DiagnosticStream stream, std::string_view line)
{
    SinkSlot& slot = Slot();
    const std::lock_guard lock(slot.mutex);
    if (slot.sink) {
        slot.sink(stream, line);
        return;
    }
    std::ostream& out = stream == DiagnosticStream::Error ? std::cerr : std::cout;
    out << line << std::endl;
}

void SetDiagnosticSink(DiagnosticSink sink)
{
    SinkSlot& slot = Slot();
    const std::lock_guard lock(slot.mutex);
    slot.sink = std::move(sink);
}

} // namespace platform
