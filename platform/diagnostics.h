// Diagnostic lines: what the program's libraries have to say that the user never reads (a
// transfer's error, the entry an extraction refused). Libraries hand each line here; the run
// decides where lines go. By default they go to standard output or standard error, one whole
// line at a time, flushed.
#pragma once

#include <functional>
#include <string_view>

namespace platform {

enum class DiagnosticStream { Output, Error };

using DiagnosticSink = std::function<void(DiagnosticStream stream, std::string_view line)>;

// Any thread. One line, without its line end.
void WriteDiagnosticLine(DiagnosticStream stream, std::string_view line);
inline void WriteDiagnosticLine(std::string_view line) { WriteDiagnosticLine(DiagnosticStream::Output, line); }

// From now on every line goes to `sink` (an empty one restores the default). Set it before
// the threads that write lines start; the sink is called from any of them.
void SetDiagnosticSink(DiagnosticSink sink);

} // namespace platform
