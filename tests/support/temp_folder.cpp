#include "temp_folder.h"

#include <stdexcept>
#include <stdlib.h>

TempFolder::TempFolder(const std::string& prefix)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed for " + pattern);
    m_path = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}
