// A hook that sees every text shown to the user in a message box, for runs without anybody
// watching (a log of what the user would have read). Silent until a trace is set.
#pragma once

#include <functional>
#include <string_view>

namespace platform {

using UserTextTrace = std::function<void(std::wstring_view text)>;

// Replaces the trace; an empty function makes tracing silent again. Any thread.
void SetUserTextTrace(UserTextTrace trace);
// Passes the text to the trace, if one is set. Any thread.
void TraceUserText(std::wstring_view text);

} // namespace platform
