// Text controls: CLabelUI (one line, vertically centred by default) and CTextUI (wrapping
// text, top-left by default). Both take a font id of the window's font table, a colour,
// alignment, an inner margin, and optionally inline markup (showhtml).
#pragma once

#include "dui/control.h"

class QFont;

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
    // The font the text is drawn in: the font id's, or with shrinktofit="true" the same made
    // smaller until the wrapped text fits the text area (a text that fits keeps the font).
    QFont ShownFont() const;

protected:
    void PaintText(QPainter& painter) override;
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
