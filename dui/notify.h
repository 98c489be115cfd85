// Notifications from controls to windows, and the message map that routes them to members.
#pragma once

#include "dui/dui_string.h"

class CControlUI;

// One notification: what happened (sType: "click", "windowinit", ...) and to which control.
struct TNotifyUI {
    CDuiString sType;
    CDuiString sVirtualWnd;
    CControlUI* pSender = nullptr;
    DWORD dwTimestamp = 0;
    POINT ptMouse;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

class INotifyUI {
public:
    virtual void Notify(TNotifyUI& msg) = 0;

protected:
    ~INotifyUI() = default;
};

// Sees every window message before the paint manager does; setting `handled` stops it there.
class IMessageFilterUI {
public:
    virtual LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) = 0;

protected:
    ~IMessageFilterUI() = default;
};

// Lets a window build control classes that the layout builder does not know.
class IDialogBuilderCallback {
public:
    virtual CControlUI* CreateControl(LPCTSTR className) = 0;

protected:
    ~IDialogBuilderCallback() = default;
};

class CNotifyPump;
// Calls one member of the class whose map holds the row. A function per row rather than a
// pointer to a member of the derived class cast to CNotifyPump: that call is well defined, but
// g++'s -fsanitize=vptr checks the pointer adjusted for the derived class against CNotifyPump and
// reports it; a downcast of the pump to its own class is checked and holds.
using DuiNotifyHandler = void (*)(CNotifyPump& pump, TNotifyUI& msg);

// One row of a message map: a notification type, optionally one control name, the handler.
struct DuiMessageMapEntry {
    LPCTSTR type = nullptr;
    LPCTSTR controlName = nullptr; // null or empty: any sender
    DuiNotifyHandler handler = nullptr;
};

// A class's map and the map of its base; rows end with a null type.
struct DuiMessageMap {
    const DuiMessageMap* (*base)() = nullptr;
    const DuiMessageMapEntry* entries = nullptr;
};

// Routes notifications through the message maps of the most derived class and its bases.
class CNotifyPump {
public:
    virtual ~CNotifyPump() = default;

    // True when a map row took the notification. Rows naming the sender come before rows
    // for any sender; a derived class's rows before its base's.
    bool NotifyPump(TNotifyUI& msg);

    virtual const DuiMessageMap* GetMessageMap() const;
    static const DuiMessageMap* GetThisMessageMap();
};

// Declares a class's message map (inside the class).
#define DUI_DECLARE_MESSAGE_MAP()                                                                                      \
public:                                                                                                                \
    const DuiMessageMap* GetMessageMap() const override;                                                               \
    static const DuiMessageMap* GetThisMessageMap();

// Defines it (in the .cpp); rows go between BEGIN and END.
#define DUI_BEGIN_MESSAGE_MAP(theClass, baseClass)                                                                     \
    const DuiMessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); }                               \
    const DuiMessageMap* theClass::GetThisMessageMap()                                                                 \
    {                                                                                                                  \
        using ThisClass = theClass;                                                                                    \
        using BaseClass = baseClass;                                                                                   \
        static const DuiMessageMapEntry entries[] = {
#define DUI_END_MESSAGE_MAP()                                                                                          \
    DuiMessageMapEntry {}                                                                                              \
    }                                                                                                                  \
    ;                                                                                                                  \
    static const DuiMessageMap map{&BaseClass::GetThisMessageMap, entries};                                            \
    return &map;                                                                                                       \
    }

// Each row: a notification type for any sender, or for one named control.
#define DUI_ON_MSGTYPE(type, memberFxn) DUI_ON_MSGTYPE_CTRNAME(type, nullptr, memberFxn)
#define DUI_ON_MSGTYPE_CTRNAME(type, name, memberFxn)                                                                  \
    DuiMessageMapEntry{                                                                                                \
        type, name, [](CNotifyPump& pump, TNotifyUI& msg) { static_cast<ThisClass&>(pump).memberFxn(msg); }},
#define DUI_ON_CLICK_CTRNAME(name, memberFxn) DUI_ON_MSGTYPE_CTRNAME(DUI_MSGTYPE_CLICK, name, memberFxn)
