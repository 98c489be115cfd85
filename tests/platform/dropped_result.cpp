// Must not compile: a platform::Result that nobody looks at. With LOOKS_AT_IT defined it is
// looked at and compiles, which shows the failure comes from the drop alone.
#include "platform/result.h"

platform::Result<void> Fails() { return platform::Error{1, "fail"}; }

#ifdef LOOKS_AT_IT
bool LooksAtIt() { return Fails().Ok(); }
#else
void DropsIt() { Fails(); }
#endif
