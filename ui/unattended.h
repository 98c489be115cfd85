// Runs with nobody at the screen (installer --unattended): every message is answered with its
// default button as soon as it shows, the completion window dismisses itself, and progress is
// printed as lines. Off unless switched on; any thread may ask.
#pragma once

#include "platform/win32.h"

void SetUnattended(bool on);
bool IsUnattended();

// Unattended runs: asks a shown skinned window to press its default button, as Enter would
// (posted, so it runs after what the window is doing now). Does nothing while attended.
void AnswerWithDefaultButtonIfUnattended(HWND window);
