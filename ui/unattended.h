// Runs with nobody at the screen (installer --unattended): every message is answered with its
// default button as soon as it shows, the completion window dismisses itself, and progress is
// printed as lines. Off unless switched on; any thread may ask.
#pragma once

void SetUnattended(bool on);
bool IsUnattended();
