// CButtonUI: a label that takes the mouse, with images for its normal, hot (mouse over),
// pushed and disabled states, and a "click" notification when pressed and released over it.
#pragma once

#include "dui/label.h"

class CButtonUI : public CLabelUI {
public:
    CButtonUI();
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR name) override;

    const CDuiString& GetNormalImage() const { return m_normalImage; }
    void SetNormalImage(LPCTSTR image);
    const CDuiString& GetHotImage() const { return m_hotImage; }
    void SetHotImage(LPCTSTR image);
    const CDuiString& GetPushedImage() const { return m_pushedImage; }
    void SetPushedImage(LPCTSTR image);
    const CDuiString& GetDisabledImage() const { return m_disabledImage; }
    void SetDisabledImage(LPCTSTR image);
    void SetHotTextColor(DWORD argb) { m_hotTextColor = argb; }
    void SetPushedTextColor(DWORD argb) { m_pushedTextColor = argb; }

    // UISTATE_HOT / UISTATE_PUSHED / UISTATE_CAPTURED.
    UINT GetButtonState() const { return m_buttonState; }
    // The button Enter presses in its window.
    bool IsDefault() const { return m_default; }
    void SetDefault(bool isDefault) { m_default = isDefault; }

    // Sends "click" to the window's notifiers.
    bool Activate() override;
    void SetEnabled(bool enabled) override;
    void SetAttribute(LPCTSTR name, LPCTSTR value) override;
    void DoEvent(TEventUI& event) override;

    // The image attribute painted for the present state.
    const CDuiString& CurrentImage() const;

protected:
    void PaintStatusImage(QPainter& painter) override;
    DWORD CurrentTextColor() const override;

    CDuiString m_normalImage;
    CDuiString m_hotImage;
    CDuiString m_pushedImage;
    CDuiString m_disabledImage;
    DWORD m_hotTextColor = 0;
    DWORD m_pushedTextColor = 0;
    UINT m_buttonState = 0;
    bool m_default = false;
};
