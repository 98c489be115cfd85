// The folder of the running executable.
#pragma once

#include "dui/dui_string.h"

// The executable's folder in letter form; with `withoutSeparator` false it ends with one
// backslash ("C:\a\" for C:\a\b.exe), with true it has none ("C:\a").
CDuiString ProgramDirectory(bool withoutSeparator);

// The folder part of a path cut at its last backslash, as ProgramDirectory does; the empty
// string when the path has no backslash.
CDuiString FolderOfPath(const CDuiString& path, bool withoutSeparator);
