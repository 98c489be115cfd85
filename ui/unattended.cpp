#include "ui/unattended.h"

void AnswerWithDefaultButton(HWND window)
{
    if (IsWindow(window))
        PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
}
