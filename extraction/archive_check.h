// Whether an archive kept on the disk is still whole: every entry read in full, as its CRC
// says it must be. For an archive no record of a finished download vouches for.
#pragma once

#include "extraction/package_extractor.h"

#include <atomic>
#include <optional>
#include <string>

// The first damage found (a bad CRC, a truncated entry, no ZIP at all), or nullopt when every
// entry reads whole. `cancel`, once set, ends the check with a damage of "stopped".
std::optional<std::string> FindArchiveDamage(const ArchiveInFolder& archive, const std::atomic<bool>* cancel = nullptr);
