#include "dui/paint_manager.h"

#include "dui/accessibility.h"
#include "dui/attributes.h"
#include "dui/button.h"
#include "dui/painting.h"
#include "dui/skin_archive.h"

#include "platform/paint_surface.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <vector>

namespace {

std::mutex g_processMutex;
HINSTANCE g_instance = nullptr;
CDuiString g_resourcePath;

POINT PointFromLParam(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

// The window timer that waits out the tooltip delay.
constexpr UINT_PTR kToolTipTimerId = 0xD117;

bool IsInput(UINT message)
{
    return (message >= WM_KEYDOWN && message <= WM_CHAR) || (message >= WM_MOUSEMOVE && message <= WM_MOUSEWHEEL) ||
        message == WM_MOUSEHOVER || message == WM_MOUSELEAVE || message == dui::kAccessiblePressMessage;
}

// The tooltip's look: a small pale box with a thin border, 12-pixel text.
const TFontInfo kToolTipFont{L"黑体", 12, false, false, false};
constexpr int kToolTipPaddingX = 6;
constexpr int kToolTipPaddingY = 3;
constexpr int kToolTipBelowPointer = 20;

} // namespace

struct CPaintManagerUI::Impl {
    std::shared_ptr<const SkinArchive> archive;
    CDuiString folder;
    std::map<std::wstring, QImage> images;
    std::map<int, TFontInfo> fonts;
    TFontInfo defaultFont{L"黑体", 12, false, false, false};
    CDuiString title;
    CDuiString titleControl;
    CControlUI* focus = nullptr;
    // The ring shows once the keyboard is used in the window (and for the focus a window
    // starts with), not after a click.
    bool showFocusRing = true;
    // The tooltip: waiting for the delay, or shown with its text at its place.
    bool toolTipPending = false;
    CDuiString toolTip;
    RECT toolTipRect;
    InputFilter held;
    bool inputHeld = false;
    dui::AccessibleWindowPtr accessible;
};

CPaintManagerUI::CPaintManagerUI() : m_impl(std::make_unique<Impl>()) {}

CPaintManagerUI::~CPaintManagerUI()
{
    m_impl->accessible.reset();
    // Controls tell the manager when they go; the tree goes first while the manager is whole.
    m_root.reset();
}

// ---- The process -------------------------------------------------------------------------

void CPaintManagerUI::SetInstance(HINSTANCE instance)
{
    const std::lock_guard lock(g_processMutex);
    g_instance = instance;
}

HINSTANCE CPaintManagerUI::GetInstance()
{
    const std::lock_guard lock(g_processMutex);
    return g_instance;
}

CDuiString CPaintManagerUI::GetInstancePath()
{
    // Larger than MAX_PATH: a Linux path may be longer, and a cut path names another folder.
    std::vector<wchar_t> path(32768, L'\0');
    GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size() - 1));
    CDuiString folder(path.data());
    const int cut = folder.ReverseFind(L'\\');
    return cut < 0 ? CDuiString() : folder.Left(cut + 1);
}

void CPaintManagerUI::SetResourcePath(LPCTSTR path)
{
    const std::lock_guard lock(g_processMutex);
    g_resourcePath = path;
    if (!g_resourcePath.IsEmpty() && g_resourcePath[g_resourcePath.GetLength() - 1] != L'\\')
        g_resourcePath += L'\\';
}

CDuiString CPaintManagerUI::GetResourcePath()
{
    const std::lock_guard lock(g_processMutex);
    return g_resourcePath;
}

// ---- The window --------------------------------------------------------------------------

void CPaintManagerUI::Init(HWND hwnd)
{
    m_impl->accessible.reset();
    m_hwnd = hwnd;
    if (hwnd)
        m_impl->accessible = dui::MakeAccessibleWindow(*this);
    NeedUpdate();
}

const CDuiString& CPaintManagerUI::GetTitle() const { return m_impl->title; }

void CPaintManagerUI::SetTitle(LPCTSTR title) { m_impl->title = title; }

const CDuiString& CPaintManagerUI::GetTitleControl() const { return m_impl->titleControl; }

void CPaintManagerUI::SetTitleControl(LPCTSTR name) { m_impl->titleControl = name; }

void CPaintManagerUI::SetSkin(std::shared_ptr<const SkinArchive> archive, LPCTSTR folder)
{
    m_impl->archive = std::move(archive);
    m_impl->folder = folder;
    m_impl->images.clear();
}

std::optional<std::string> CPaintManagerUI::ReadSkinFile(const CDuiString& name) const
{
    const CDuiString relative = m_impl->folder + name;
    if (!m_impl->archive)
        return std::nullopt;
    return m_impl->archive->Read(relative.view());
}

const QImage* CPaintManagerUI::GetImage(const CDuiString& name)
{
    if (name.IsEmpty())
        return nullptr;
    if (const auto it = m_impl->images.find(name.str()); it != m_impl->images.end())
        return it->second.isNull() ? nullptr : &it->second;
    QImage image;
    if (const auto bytes = ReadSkinFile(name))
        image.loadFromData(reinterpret_cast<const uchar*>(bytes->data()), static_cast<int>(bytes->size()));
    if (!image.isNull())
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // A missing image is remembered too, so it is not looked for on every paint.
    const auto [it, inserted] = m_impl->images.emplace(name.str(), std::move(image));
    return it->second.isNull() ? nullptr : &it->second;
}

void CPaintManagerUI::SetInitSize(int cx, int cy)
{
    m_initSize = SIZE{cx, cy};
    NeedUpdate();
}

// ---- Fonts -------------------------------------------------------------------------------

void CPaintManagerUI::AddFont(int id, LPCTSTR face, int size, bool bold, bool underline, bool italic)
{
    m_impl->fonts[id] = TFontInfo{face ? face : L"", size, bold, underline, italic};
    Invalidate();
}

const TFontInfo& CPaintManagerUI::GetFontInfo(int id) const
{
    const auto it = m_impl->fonts.find(id);
    return it == m_impl->fonts.end() ? m_impl->defaultFont : it->second;
}

bool CPaintManagerUI::HasFont(int id) const { return m_impl->fonts.count(id) != 0; }

void CPaintManagerUI::SetDefaultFont(LPCTSTR face, int size, bool bold)
{
    m_impl->defaultFont = TFontInfo{face ? face : L"", size, bold, false, false};
    Invalidate();
}

QFont CPaintManagerUI::GetQFont(int id) const { return dui::MakeFont(GetFontInfo(id)); }

// ---- Controls ----------------------------------------------------------------------------

bool CPaintManagerUI::AttachDialog(CControlUI* root)
{
    m_hot = nullptr;
    m_pushed = nullptr;
    m_impl->focus = nullptr;
    HideToolTip();
    m_root.reset(root);
    if (m_root)
        m_root->SetManager(this, nullptr);
    m_windowInitSent = false;
    NeedUpdate();
    return m_root != nullptr;
}

CControlUI* CPaintManagerUI::FindControl(POINT pt) const
{
    if (!m_root)
        return nullptr;
    if (CControlUI* interactive = m_root->FindControlAt(pt, true))
        return interactive;
    return m_root->FindControlAt(pt, false);
}

CControlUI* CPaintManagerUI::FindControl(LPCTSTR name) const
{
    if (!m_root || !name)
        return nullptr;
    return m_root->FindControlByName(CDuiString(name));
}

CButtonUI* CPaintManagerUI::FindDefaultButton() const
{
    if (!m_root)
        return nullptr;
    CButtonUI* found = nullptr;
    m_root->ForEach(
        [](CControlUI* control, void* context) {
            auto** result = static_cast<CButtonUI**>(context);
            auto* button = static_cast<CButtonUI*>(control->GetInterface(L"Button"));
            if (!*result && button && button->IsDefault() && button->IsVisible() && button->IsEnabled())
                *result = button;
        },
        &found);
    return found;
}

void CPaintManagerUI::ForgetControl(CControlUI* control)
{
    if (m_hot == control) {
        m_hot = nullptr;
        HideToolTip();
    }
    if (m_pushed == control)
        m_pushed = nullptr;
    if (m_impl->focus == control)
        m_impl->focus = nullptr;
}

void CPaintManagerUI::NoteTextChanged(CControlUI* control)
{
    if (control)
        dui::NotifyAccessibleText(*control);
}

void CPaintManagerUI::NoteValueChanged(CControlUI* control)
{
    if (control)
        dui::NotifyAccessibleValue(*control);
}

// ---- Keyboard focus ----------------------------------------------------------------------

bool CPaintManagerUI::IsTabStop(const CControlUI* control)
{
    return control && const_cast<CControlUI*>(control)->GetInterface(L"Button") && control->IsEnabled() &&
        control->IsShownInTree();
}

CControlUI* CPaintManagerUI::GetFocus() const { return IsTabStop(m_impl->focus) ? m_impl->focus : nullptr; }

void CPaintManagerUI::SetFocus(CControlUI* control)
{
    if (control && !IsTabStop(control))
        return;
    CControlUI* previous = m_impl->focus;
    if (previous == control)
        return;
    m_impl->focus = control;
    if (previous)
        previous->Invalidate();
    if (control) {
        control->Invalidate();
        dui::NotifyAccessibleFocus(*control);
    }
}

bool CPaintManagerUI::SetNextTabControl(bool forward)
{
    std::vector<CControlUI*> stops;
    if (m_root)
        m_root->ForEach(
            [](CControlUI* control, void* list) {
                if (IsTabStop(control))
                    static_cast<std::vector<CControlUI*>*>(list)->push_back(control);
            },
            &stops);
    if (stops.empty())
        return false;
    const auto at = std::find(stops.begin(), stops.end(), GetFocus());
    const auto count = static_cast<std::ptrdiff_t>(stops.size());
    std::ptrdiff_t next = 0;
    if (at == stops.end())
        next = forward ? 0 : count - 1;
    else
        next = ((at - stops.begin()) + (forward ? 1 : count - 1)) % count;
    SetFocus(stops[static_cast<std::size_t>(next)]);
    return true;
}

// ---- Tooltips ----------------------------------------------------------------------------

const CDuiString& CPaintManagerUI::GetShownToolTip() const { return m_impl->toolTip; }

RECT CPaintManagerUI::GetToolTipRect() const { return m_impl->toolTip.IsEmpty() ? RECT{} : m_impl->toolTipRect; }

void CPaintManagerUI::HideToolTip()
{
    if (m_impl->toolTipPending && m_hwnd)
        KillTimer(m_hwnd, kToolTipTimerId);
    m_impl->toolTipPending = false;
    if (!m_impl->toolTip.IsEmpty()) {
        m_impl->toolTip = CDuiString();
        Invalidate(m_impl->toolTipRect);
    }
}

void CPaintManagerUI::OnHotChanged()
{
    HideToolTip();
    if (m_hot && m_hwnd && !m_hot->GetToolTip().IsEmpty())
        m_impl->toolTipPending = SetTimer(m_hwnd, kToolTipTimerId, kToolTipDelay, nullptr) != 0;
}

void CPaintManagerUI::OnToolTipTimer()
{
    HideToolTip();
    if (!m_hot || m_hot->GetToolTip().IsEmpty())
        return;
    m_impl->toolTip = m_hot->GetToolTip();
    const QFontMetrics metrics(dui::MakeFont(kToolTipFont));
    const int width = metrics.horizontalAdvance(QString::fromStdWString(m_impl->toolTip.str())) + 2 * kToolTipPaddingX;
    const int height = metrics.height() + 2 * kToolTipPaddingY;
    const SIZE client = GetClientSize();
    // Below the pointer; inside the window, above the pointer when there is no room below.
    int x = std::max(0, std::min<int>(m_lastMouse.x, client.cx - width));
    int y = m_lastMouse.y + kToolTipBelowPointer;
    if (y + height > client.cy)
        y = std::max(0, static_cast<int>(m_lastMouse.y) - height - 4);
    m_impl->toolTipRect = RECT{x, y, x + width, y + height};
    Invalidate(m_impl->toolTipRect);
}

// ---- Holding input -----------------------------------------------------------------------

void CPaintManagerUI::HoldInput(InputFilter letThrough)
{
    m_impl->held = std::move(letThrough);
    m_impl->inputHeld = true;
}

void CPaintManagerUI::ReleaseInput()
{
    m_impl->held = nullptr;
    m_impl->inputHeld = false;
}

CInputHold::CInputHold(CPaintManagerUI& manager, CPaintManagerUI::InputFilter letThrough)
    : m_manager(manager), m_alive(manager.m_lifetime.Watch())
{
    m_manager.HoldInput(std::move(letThrough));
}

CInputHold::~CInputHold()
{
    if (m_alive.Alive())
        m_manager.ReleaseInput();
}

// ---- Notifications and messages ----------------------------------------------------------

namespace {

// Adds a listener once; false for null or one already there.
template <typename T>
bool AddOnce(std::vector<T*>& list, T* item)
{
    if (!item || std::find(list.begin(), list.end(), item) != list.end())
        return false;
    list.push_back(item);
    return true;
}

template <typename T>
bool RemoveFrom(std::vector<T*>& list, T* item)
{
    const auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end())
        return false;
    list.erase(it);
    return true;
}

} // namespace

bool CPaintManagerUI::AddNotifier(INotifyUI* notifier) { return AddOnce(m_notifiers, notifier); }

bool CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) { return RemoveFrom(m_notifiers, notifier); }

void CPaintManagerUI::SendNotify(TNotifyUI& msg)
{
    msg.ptMouse = m_lastMouse;
    const CLifeWatch alive = m_lifetime.Watch();
    const std::vector<INotifyUI*> notifiers = m_notifiers;
    for (INotifyUI* notifier : notifiers) {
        // A handler may remove notifiers or destroy the window and this manager with it.
        if (!alive.Alive())
            return;
        if (std::find(m_notifiers.begin(), m_notifiers.end(), notifier) == m_notifiers.end())
            continue;
        notifier->Notify(msg);
    }
}

void CPaintManagerUI::SendNotify(CControlUI* sender, LPCTSTR type, WPARAM wParam, LPARAM lParam)
{
    TNotifyUI msg;
    msg.sType = type;
    msg.pSender = sender;
    msg.wParam = wParam;
    msg.lParam = lParam;
    SendNotify(msg);
}

bool CPaintManagerUI::AddPreMessageFilter(IMessageFilterUI* filter) { return AddOnce(m_preFilters, filter); }

bool CPaintManagerUI::RemovePreMessageFilter(IMessageFilterUI* filter) { return RemoveFrom(m_preFilters, filter); }

bool CPaintManagerUI::MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (m_impl->inputHeld && IsInput(message) && !LetThroughHeld(message, wParam, lParam)) {
        result = 0;
        return true;
    }
    const std::vector<IMessageFilterUI*> filters = m_preFilters;
    const CLifeWatch alive = m_lifetime.Watch();
    for (IMessageFilterUI* filter : filters) {
        bool handled = false;
        const LRESULT filtered = filter->MessageHandler(message, wParam, lParam, handled);
        if (handled) {
            result = filtered;
            return true;
        }
        if (!alive.Alive())
            return true;
    }
    if (!m_hwnd)
        return false;

    result = 0;
    switch (message) {
    case WM_PAINT:
        OnPaint();
        return true;
    case WM_SIZE:
        NeedUpdate();
        UpdateLayout();
        return false;
    default:
        break;
    }
    // Hit tests need the layout of the present size, even before the first paint.
    UpdateLayout();
    switch (message) {
    case WM_MOUSEMOVE:
        OnMouseMove(PointFromLParam(lParam));
        return true;
    case WM_MOUSELEAVE:
        OnMouseLeave();
        return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        OnButtonDown(PointFromLParam(lParam));
        return true;
    case WM_LBUTTONUP:
        OnButtonUp(PointFromLParam(lParam));
        return true;
    case WM_KEYDOWN:
        return OnKeyDown(wParam, lParam);
    case WM_TIMER:
        if (wParam != kToolTipTimerId)
            return false;
        OnToolTipTimer();
        return true;
    case WM_KILLFOCUS:
        HideToolTip();
        return false;
    default:
        if (message == dui::kAccessiblePressMessage) {
            OnAccessiblePress(reinterpret_cast<CControlUI*>(lParam), wParam != 0);
            return true;
        }
        return false;
    }
}

bool CPaintManagerUI::OnKeyDown(WPARAM key, LPARAM flags)
{
    HideToolTip();
    if (!m_impl->showFocusRing) {
        m_impl->showFocusRing = true;
        if (CControlUI* focus = GetFocus())
            focus->Invalidate();
    }
    if (key == VK_TAB) {
        SetNextTabControl(GetKeyState(static_cast<int>(VK_SHIFT)) >= 0);
        return true;
    }
    if (key == VK_SPACE) {
        CControlUI* focus = GetFocus();
        // One press per key press, not one per repeat while it is held.
        if (focus && !(flags & (1 << 30)))
            focus->Activate(); // may close the window: the last use of this manager
        return focus != nullptr;
    }
    return false;
}

bool CPaintManagerUI::InTree(const CControlUI* control) const
{
    bool present = false;
    if (m_root) {
        std::pair<const CControlUI*, bool*> search{control, &present};
        m_root->ForEach(
            [](CControlUI* candidate, void* context) {
                auto* wanted = static_cast<std::pair<const CControlUI*, bool*>*>(context);
                if (candidate == wanted->first)
                    *wanted->second = true;
            },
            &search);
    }
    return present;
}

bool CPaintManagerUI::LetThroughHeld(UINT message, WPARAM wParam, LPARAM lParam) const
{
    if (!m_impl->held)
        return false;
    if (message != dui::kAccessiblePressMessage)
        return m_impl->held(message, wParam, lParam);
    // An assistive tool's press counts as a click at the control's centre.
    const auto* control = reinterpret_cast<const CControlUI*>(lParam);
    if (!InTree(control))
        return false;
    const RECT& pos = control->GetPos();
    const LPARAM centre = MAKELPARAM((pos.left + pos.right) / 2, (pos.top + pos.bottom) / 2);
    return m_impl->held(WM_LBUTTONDOWN, MK_LBUTTON, centre) && m_impl->held(WM_LBUTTONUP, 0, centre);
}

void CPaintManagerUI::OnAccessiblePress(CControlUI* control, bool press)
{
    // The control may have gone since the press was asked for; the window may take no input.
    if (!InTree(control) || !IsTabStop(control) || !IsWindowVisible(m_hwnd) || !IsWindowEnabled(m_hwnd))
        return;
    if (press)
        control->Activate();
    else
        SetFocus(control);
}

void CPaintManagerUI::OnPaint()
{
    const HWND hwnd = m_hwnd;
    if (m_root && !m_windowInitSent && IsWindowVisible(hwnd)) {
        // Once, on the first paint of the shown window, after the first layout.
        m_windowInitSent = true;
        UpdateLayout();
        if (!GetFocus())
            SetFocus(FindDefaultButton());
        const CLifeWatch alive = m_lifetime.Watch();
        SendNotify(m_root.get(), DUI_MSGTYPE_WINDOWINIT);
        if (!alive.Alive() || !IsWindow(hwnd))
            return;
    }
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(hwnd, &paint);
    if (QImage* surface = dc ? platform::SurfaceImage(dc) : nullptr) {
        QPainter painter(surface);
        Paint(painter);
    }
    EndPaint(hwnd, &paint);
}

void CPaintManagerUI::SendEvent(CControlUI* control, int type, POINT pt)
{
    TEventUI event;
    event.Type = type;
    event.pSender = control;
    event.ptMouse = pt;
    control->DoEvent(event);
}

void CPaintManagerUI::OnMouseMove(POINT pt)
{
    m_lastMouse = pt;
    if (m_pushed)
        SendEvent(m_pushed, UIEVENT_MOUSEMOVE, pt);
    CControlUI* target = m_root ? m_root->FindControlAt(pt, true) : nullptr;
    if (target && !target->IsEnabled())
        target = nullptr;
    if (target == m_hot)
        return;
    CControlUI* previous = m_hot;
    m_hot = target;
    OnHotChanged();
    if (previous)
        SendEvent(previous, UIEVENT_MOUSELEAVE, pt);
    if (target)
        SendEvent(target, UIEVENT_MOUSEENTER, pt);
}

void CPaintManagerUI::OnMouseLeave()
{
    HideToolTip();
    if (CControlUI* previous = m_hot) {
        m_hot = nullptr;
        SendEvent(previous, UIEVENT_MOUSELEAVE, m_lastMouse);
    }
}

void CPaintManagerUI::OnButtonDown(POINT pt)
{
    m_lastMouse = pt;
    CControlUI* target = m_root ? m_root->FindControlAt(pt, true) : nullptr;
    HideToolTip();
    if (!target || !target->IsEnabled())
        return;
    if (IsTabStop(target)) {
        SetFocus(target);
        m_impl->showFocusRing = false;
        target->Invalidate();
    }
    m_pushed = target;
    if (m_hwnd)
        SetCapture(m_hwnd);
    SendEvent(target, UIEVENT_BUTTONDOWN, pt);
}

void CPaintManagerUI::OnButtonUp(POINT pt)
{
    m_lastMouse = pt;
    if (m_hwnd)
        ReleaseCapture();
    CControlUI* target = m_pushed;
    m_pushed = nullptr;
    // Last step: the control's click may close the window and end this manager.
    if (target)
        SendEvent(target, UIEVENT_BUTTONUP, pt);
}

// ---- Layout and painting -----------------------------------------------------------------

void CPaintManagerUI::NeedUpdate()
{
    m_needLayout = true;
    Invalidate();
}

void CPaintManagerUI::Invalidate()
{
    if (m_hwnd)
        InvalidateRect(m_hwnd, nullptr, FALSE);
}

void CPaintManagerUI::Invalidate(const RECT& rc)
{
    if (m_hwnd)
        InvalidateRect(m_hwnd, &rc, FALSE);
}

SIZE CPaintManagerUI::GetClientSize() const
{
    if (m_hwnd) {
        RECT client;
        if (GetClientRect(m_hwnd, &client))
            return SIZE{client.right - client.left, client.bottom - client.top};
    }
    return m_initSize;
}

void CPaintManagerUI::UpdateLayout()
{
    if (!m_root)
        return;
    const SIZE size = GetClientSize();
    const RECT& pos = m_root->GetPos();
    if (!m_needLayout && pos.right - pos.left == size.cx && pos.bottom - pos.top == size.cy)
        return;
    m_needLayout = false;
    m_root->SetPos(RECT{0, 0, size.cx, size.cy});
}

void CPaintManagerUI::Paint(QPainter& painter)
{
    UpdateLayout();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    if (m_root)
        m_root->DoPaint(painter);
    PaintFocusRing(painter);
    PaintToolTip(painter);
    painter.restore();
}

void CPaintManagerUI::PaintFocusRing(QPainter& painter)
{
    const CControlUI* focus = GetFocus();
    if (!focus || !m_impl->showFocusRing)
        return;
    // Two lines, dark outside and white inside, so the ring shows on light and dark buttons.
    const QRectF ring = QRectF(dui::ToQRect(focus->GetPos())).adjusted(1.5, 1.5, -1.5, -1.5);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0x1A, 0x3C, 0x6E), 2.0));
    painter.drawRect(ring);
    painter.setPen(QPen(Qt::white, 1.0));
    painter.drawRect(ring.adjusted(1.5, 1.5, -1.5, -1.5));
    painter.restore();
}

void CPaintManagerUI::PaintToolTip(QPainter& painter)
{
    if (m_impl->toolTip.IsEmpty())
        return;
    const QRect box = dui::ToQRect(m_impl->toolTipRect);
    painter.save();
    painter.fillRect(box, QColor(0xFF, 0xFF, 0xF0));
    painter.setPen(QColor(0x76, 0x76, 0x76));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setFont(dui::MakeFont(kToolTipFont));
    painter.setPen(QColor(0x1F, 0x1F, 0x1F));
    painter.drawText(box, Qt::AlignCenter, QString::fromStdWString(m_impl->toolTip.str()));
    painter.restore();
}

bool CPaintManagerUI::RenderToImage(QImage& image)
{
    const SIZE size = GetClientSize();
    if (size.cx <= 0 || size.cy <= 0)
        return false;
    // At the screen's device pixel ratio, as the window would be drawn on it.
    const qreal ratio = std::max<qreal>(qGuiApp ? qGuiApp->devicePixelRatio() : 1.0, 1.0);
    image = QImage(static_cast<int>(std::ceil(size.cx * ratio - 1e-6)),
        static_cast<int>(std::ceil(size.cy * ratio - 1e-6)), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    Paint(painter);
    return true;
}

bool CPaintManagerUI::SaveImage(const std::string& nativePngPath)
{
    QImage image;
    if (nativePngPath.empty() || !RenderToImage(image))
        return false;
    return image.save(QString::fromStdString(nativePngPath), "PNG");
}
