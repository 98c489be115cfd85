// The skin embedded in the executable: registers the layouts-and-images archive as resource
// "ZIPRES" 108 and the 64 x 64 window icon as RT_ICON 101. Call once before the first window
// is created (further calls do nothing). An explicit call, because a static initialiser in a
// static library would be dropped by the linker.
#pragma once

#include <cstddef>
#include <string_view>

inline constexpr unsigned kSkinResourceId = 108;
inline constexpr unsigned kIconResourceId = 101;

void RegisterSkinResources();

// The embedded bytes, for tests and tools.
std::string_view EmbeddedSkinArchive();
std::string_view EmbeddedIcon();
