// Runs with nobody at the screen (installer --unattended): a window that is told so before it
// is made answers itself as soon as it shows.
#pragma once

#include "platform/win32.h"

// Asks a shown skinned window to press its default button, as Enter would (posted, so it runs
// after what the window is doing now).
void AnswerWithDefaultButton(HWND window);
