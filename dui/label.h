// Text controls: CLabelUI (one line, vertically centred by default) and CTextUI (wrapping
// text, top-left by default). Both take a font id of the window's font table, a colour,
// alignment, an inner margin, and optionally inline markup (showhtml).
#pragma once

#include "dui/control.h"

class QFont;
namespace dui {
struct FittedText;
}

class CLabelUI : public CControlUI {
public:
    CLabelUI();
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR name) override;

    // -1: the manager's default font.
    int GetFont() const { return m_font; }
    void SetFont(int id);
    DWORD GetTextColor() const { return m_textColor; }
    void SetTextColor(DWORD argb);
    DWORD GetDisabledTextColor() const { return m_disabledTextColor; }
    void SetDisabledTextColor(DWORD argb);
    UINT GetTextStyle() const { return m_textStyle; }
    void SetTextStyle(UINT style);
    const RECT& GetTextPadding() const { return m_textPadding; }
    void SetTextPadding(RECT rc);
    bool IsShowHtml() const { return m_showHtml; }
    void SetShowHtml(bool show);

    void SetAttribute(LPCTSTR name, LPCTSTR value) override;

    // The control's rectangle less its inner margin: where the text goes.
    RECT TextArea() const;
    // The font the text is drawn in: the font id's, or with shrinktofit="true" what
    // dui::FitText gives for the text area and the control's rectangle less its left and right
    // inner margin (a text that fits the text area keeps the font).
    QFont ShownFont() const;
    // Where the text is drawn: the text area, or with shrinktofit="true" the area FitText gives.
    RECT ShownTextArea() const;

protected:
    void PaintText(QPainter& painter) override;
    dui::FittedText Fitted() const;
    // Colour of the text in the control's present state.
    virtual DWORD CurrentTextColor() const;

    int m_font = -1;
    DWORD m_textColor = 0xFF000000;
    DWORD m_disabledTextColor = 0xFFA7A6AA;
    UINT m_textStyle = DT_VCENTER | DT_SINGLELINE;
    RECT m_textPadding;
    bool m_showHtml = false;
    bool m_shrinkToFit = false;
};

class CTextUI : public CLabelUI {
public:
    CTextUI();
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR name) override;
};
