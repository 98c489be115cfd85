// The work folder on the download disk ("C:\kelvo\") that receives the package archive.
#pragma once

#include "platform/result.h"

#include <string>

// The folder at the letter path, with every missing parent; fine when it is a folder
// afterwards.
platform::Result<void> MakeWorkFolder(const std::string& workFolder);
