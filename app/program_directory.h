// The folder of the running executable, and the files that lie beside it.
#pragma once

#include "dui/dui_string.h"

// The executable's folder in letter form; with `withoutSeparator` false it ends with one
// backslash ("C:\a\" for C:\a\b.exe), with true it has none ("C:\a").
CDuiString ProgramDirectory(bool withoutSeparator);

// The folder part of a path cut at its last backslash, as ProgramDirectory does; the empty
// string when the path has no backslash.
CDuiString FolderOfPath(const CDuiString& path, bool withoutSeparator);

// The file `name` that configures this installation (packagekey.txt, qaswitch.txt): the one in
// the program's folder when it is a file there; for the program installed from its package,
// otherwise the one in /etc/<package name>/ when that is a file; else the path in the
// program's folder (which is then no file).
CDuiString FileBesideProgram(const wchar_t* name);

// True when a file named qaswitch.txt lies beside the program (not a folder): it selects the
// alternate storage.
bool AlternateStorageSelected();
// Sets activeCloudBaseUrl, to the alternate storage's when AlternateStorageSelected(), and
// activeCloudBaseUrlFallbacks (none for the alternate storage).
void SelectCloudBaseUrl();
