// Which entry paths a stick can hold, whatever its file system: the sticks go to Windows PCs,
// so each name follows Windows' rules, and the paths of one package must stay distinct there
// (Windows compares names without regard to case).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace extraction {

// The components of a decoded entry path, split at slashes and backslashes; empty components
// (a trailing slash, doubled separators) are dropped.
std::vector<std::string_view> PathComponents(std::string_view path);

// Why Windows cannot hold a file or folder of this name (one component), or nullopt:
// control characters, " * : < > ? |, a trailing dot or space, a reserved device name
// (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with or without an extension), more than 255
// UTF-16 units. Call under a UTF-8 locale.
std::optional<std::string> WindowsNameReason(std::string_view component);

// Collects the paths of one archive and finds the pairs a Windows file system cannot keep
// apart: two paths equal ignoring case, a path that is a file and a folder (either order,
// folders implied by the files beneath them included). Call under a UTF-8 locale.
class PackagePathSet {
public:
    // Why the entry cannot join the paths added so far, or nullopt (it has then joined).
    std::optional<std::string> Add(const std::vector<std::string_view>& components, bool isFolder);

private:
    struct Node {
        std::string path; // as in the archive
        bool isFolder = true;
    };
    std::optional<std::string> AddOne(const std::wstring& folded, std::string path, bool isFolder);

    std::unordered_map<std::wstring, Node> m_nodes; // by the path upper-cased
};

} // namespace extraction
