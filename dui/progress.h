// CProgressUI: a bar from min to max; bkimage fills the whole control, foreimage the part up
// to the value (left to right, or bottom to top when hor="false").
#pragma once

#include "dui/label.h"

class CProgressUI : public CLabelUI {
public:
    CProgressUI();
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR name) override;

    int GetMinValue() const { return m_min; }
    void SetMinValue(int value);
    int GetMaxValue() const { return m_max; }
    void SetMaxValue(int value);
    int GetValue() const { return m_value; }
    // Clamped to [min, max].
    void SetValue(int value);
    const CDuiString& GetForeImage() const { return m_foreImage; }
    void SetForeImage(LPCTSTR image);
    bool IsHorizontal() const { return m_horizontal; }
    void SetHorizontal(bool horizontal);

    // The part of the control the fore image covers at the present value.
    RECT FilledRect() const;

    void SetAttribute(LPCTSTR name, LPCTSTR value) override;

protected:
    void PaintStatusImage(QPainter& painter) override;

    int m_min = 0;
    int m_max = 100;
    int m_value = 0;
    CDuiString m_foreImage;
    bool m_horizontal = true;
};
