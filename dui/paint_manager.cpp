#include "dui/paint_manager.h"

#include "dui/accessibility.h"
#include "dui/attributes.h"
#include "dui/button.h"
#include "dui/paint_manager_impl.h"
#include "dui/painting.h"
#include "dui/skin_archive.h"

#include "platform/paint_surface.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

namespace {

std::mutex g_processMutex;
HINSTANCE g_instance = nullptr;
CDuiString g_resourcePath;

} // namespace

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

// WM_PAINT: the tree painted onto the window's surface.
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
    painter.setFont(dui::MakeFont(dui::kToolTipFont));
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
