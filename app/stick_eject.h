// Ejecting the stick once the package is on it, so it can be pulled at once.
#pragma once

#include <string>

// Unmounts the stick at driveName ("E:") and powers it off. Blocks until done; returns the line
// the user reads: ejected, written but not ejected, or a volume-map stick that cannot be.
std::wstring EjectStick(const std::wstring& driveName);
