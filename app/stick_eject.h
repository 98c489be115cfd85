// Ejecting the stick once the package is on it, so it can be pulled at once.
#pragma once

#include <string>

// Unmounts the stick at driveName ("E:") and powers it off. Blocks until done; returns the line
// the user reads: ejected, written but not ejected, or a volume-map stick that cannot be.
std::wstring EjectStick(const std::wstring& driveName);

// Once the windows of a run have closed: ejects its stick and tells the user, as a line on
// standard output when unattended, in a message box otherwise.
void EjectInstalledStick(const std::wstring& driveName, bool unattended);
