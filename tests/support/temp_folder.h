// A fresh folder under the system's temporary folder, removed with everything in it.
#pragma once

#include <filesystem>
#include <string>

class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "installer-test");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};
