// The native windows' side of accessibility (platform/accessibility.h): the interface of each
// QtNativeWindow, made by a factory installed once with the display.
#pragma once

namespace platform {

class QtNativeWindow;

// Installs the factory that gives every QtNativeWindow its interface; once per process.
void InstallWindowAccessibility();
// The window was shown: tells assistive tools (a dialog opening among them).
void AnnounceShownWindow(QtNativeWindow& window);
// The window went: its content goes with it.
void ForgetAccessibleContent(QtNativeWindow& window);

} // namespace platform
