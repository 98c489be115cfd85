#include "ui/unattended.h"

#include <atomic>

namespace {

std::atomic<bool> g_unattended{false};

} // namespace

void SetUnattended(bool on) { g_unattended.store(on); }

bool IsUnattended() { return g_unattended.load(); }

void AnswerWithDefaultButtonIfUnattended(HWND window)
{
    if (IsUnattended() && IsWindow(window))
        PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
}
