#include "ui/unattended.h"

#include <atomic>

namespace {

std::atomic<bool> unattended{false};

} // namespace

void SetUnattended(bool on)
{
    unattended.store(on);
}

bool IsUnattended()
{
    return unattended.load();
}

void AnswerWithDefaultButtonIfUnattended(HWND window)
{
    if (IsUnattended() && IsWindow(window))
        PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
}
