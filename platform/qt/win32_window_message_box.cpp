// MessageBoxW: a small modal box of its own, drawn with QPainter, without the skin.
#include "platform/accessibility.h"
#include "platform/core/display.h"
#include "platform/paint_surface.h"
#include "platform/ui_thread.h"
#include "platform/user_text_trace.h"
#include "platform/win32_strings.h"
#include "platform/win32_system.h"
#include "platform/win32_window.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace {

constexpr wchar_t kClassName[] = L"PlatformMessageBox";
constexpr int kCaptionHeight = 30;
constexpr int kMargin = 20;
constexpr int kMinTextWidth = 240;
constexpr int kMaxTextWidth = 440;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 30;

struct Box {
    QString caption;
    QString text;
    QFont captionFont;
    QFont textFont;
    QRect textRect;
    QRect buttonRect;
    bool pressed = false;
};

QFont BoxFont(int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("SimHei"),
        QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// Lays the box out for its text; returns the client size.
QSize Layout(Box& box)
{
    const QFontMetrics metrics(box.textFont);
    const int natural = metrics.horizontalAdvance(box.text);
    const int width = std::clamp(natural, kMinTextWidth, kMaxTextWidth);
    const QRect wrapped =
        metrics.boundingRect(QRect(0, 0, width, 10000), Qt::TextWordWrap | Qt::TextWrapAnywhere, box.text);
    box.textRect = QRect(kMargin, kCaptionHeight + kMargin, width, std::max(wrapped.height(), metrics.height()));
    const int clientWidth = width + 2 * kMargin;
    box.buttonRect =
        QRect((clientWidth - kButtonWidth) / 2, box.textRect.bottom() + 1 + kMargin, kButtonWidth, kButtonHeight);
    return QSize(clientWidth, box.buttonRect.bottom() + 1 + kMargin * 3 / 4);
}

void Paint(const Box& box, QImage& image)
{
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QRect all = image.rect();
    painter.fillRect(all, QColor(0xFF, 0xFF, 0xFF));
    painter.fillRect(QRect(0, 0, all.width(), kCaptionHeight), QColor(0xEE, 0xF1, 0xF5));
    painter.setPen(QColor(0xB8, 0xC0, 0xCC));
    painter.drawRect(all.adjusted(0, 0, -1, -1));
    painter.drawLine(1, kCaptionHeight, all.width() - 2, kCaptionHeight);

    painter.setPen(QColor(0x33, 0x3A, 0x44));
    painter.setFont(box.captionFont);
    painter.drawText(QRect(12, 0, all.width() - 24, kCaptionHeight), Qt::AlignVCenter | Qt::AlignLeft, box.caption);
    painter.setFont(box.textFont);
    painter.setPen(QColor(0x22, 0x22, 0x22));
    painter.drawText(
        box.textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextWrapAnywhere, box.text);

    painter.fillRect(box.buttonRect, box.pressed ? QColor(0x2F, 0x6F, 0xC0) : QColor(0x3A, 0x86, 0xE0));
    painter.setPen(QColor(0x2A, 0x62, 0xA8));
    painter.drawRect(box.buttonRect.adjusted(0, 0, -1, -1));
    painter.setPen(Qt::white);
    painter.setFont(box.captionFont);
    painter.drawText(box.buttonRect, Qt::AlignCenter, QStringLiteral("OK"));
}

// What a screen reader finds: a dialog named by its text, Enter or Esc to answer.
class BoxContent final : public platform::AccessibleContent {
public:
    explicit BoxContent(const Box& box) : m_box(box) {}
    int AccessibleChildCount() override { return 0; }
    QAccessibleInterface* AccessibleChild(int) override { return nullptr; }
    int IndexOfAccessibleChild(const QAccessibleInterface*) override { return -1; }
    QAccessibleInterface* AccessibleFocusChild() override { return nullptr; }
    QString AccessibleName() override { return m_box.text; }

private:
    const Box& m_box;
};

Box* BoxOf(HWND hwnd) { return reinterpret_cast<Box*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

QPoint ClientPoint(LPARAM lParam) { return QPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); }

LRESULT BoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return TRUE;
    }
    Box* box = BoxOf(hwnd);
    if (!box)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_NCHITTEST: {
        POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ScreenToClient(hwnd, &point);
        return point.y >= 0 && point.y < kCaptionHeight ? HTCAPTION : HTCLIENT;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (QImage* image = platform::SurfaceImage(BeginPaint(hwnd, &paint)))
            Paint(*box, *image);
        EndPaint(hwnd, &paint);
        return 0;
    }
    case WM_LBUTTONDOWN:
        if (box->buttonRect.contains(ClientPoint(lParam))) {
            box->pressed = true;
            SetCapture(hwnd);
            InvalidateRect(hwnd, nullptr, FALSE);
        }
        return 0;
    case WM_LBUTTONUP: {
        const bool clicked = box->pressed && box->buttonRect.contains(ClientPoint(lParam));
        box->pressed = false;
        ReleaseCapture();
        InvalidateRect(hwnd, nullptr, FALSE);
        if (clicked)
            DestroyWindow(hwnd);
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == VK_RETURN || wParam == VK_ESCAPE || wParam == VK_SPACE)
            DestroyWindow(hwnd);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void RegisterBoxClass()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc;
        wc.lpfnWndProc = BoxProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        RegisterClassExW(&wc);
    });
}

RECT Placement(HWND owner, QSize size)
{
    RECT around;
    if (!(IsWindow(owner) && IsWindowVisible(owner) && !IsIconic(owner) && GetWindowRect(owner, &around)))
        GetWorkAreaRect(owner, &around);
    const int x = around.left + ((around.right - around.left) - size.width()) / 2;
    const int y = around.top + ((around.bottom - around.top) - size.height()) / 2;
    return RECT{x, y, x + size.width(), y + size.height()};
}

int RunBox(HWND owner, const std::wstring& text, const std::wstring& caption)
{
    RegisterBoxClass();
    Box box;
    box.caption = QString::fromStdWString(caption);
    box.text = QString::fromStdWString(text);
    box.captionFont = BoxFont(13, true);
    box.textFont = BoxFont(15, false);
    const RECT frame = Placement(owner, Layout(box));

    if (!IsWindow(owner))
        owner = nullptr;
    const bool disableOwner = owner && IsWindowEnabled(owner);
    if (disableOwner)
        EnableWindow(owner, FALSE);
    const HWND hwnd = CreateWindowExW(WS_EX_TOPMOST, kClassName, caption.c_str(), WS_POPUP, frame.left, frame.top,
        frame.right - frame.left, frame.bottom - frame.top, owner, nullptr, GetModuleHandleW(nullptr), &box);
    BoxContent content(box);
    if (hwnd) {
        platform::SetAccessibleContent(hwnd, &content);
        ShowWindow(hwnd, SW_SHOWNORMAL);
        SetFocus(hwnd);
        MSG msg;
        while (IsWindow(hwnd)) {
            const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0) {
                // A quit request ends the box and goes on to the loops outside it.
                PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (got < 0)
                break;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // The owner comes back before the box goes, so activation can return to it.
    if (disableOwner)
        EnableWindow(owner, TRUE);
    if (IsWindow(hwnd))
        DestroyWindow(hwnd);
    platform::SetAccessibleContent(hwnd, nullptr);
    return IDOK;
}

} // namespace

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT)
{
    const std::wstring body = text ? text : L"";
    const std::wstring title = caption ? caption : L"";
    if (platform::UiThreadId() != 0 && !platform::IsUiThread()) {
        int result = IDOK;
        if (platform::InvokeOnUiThread([&] { result = MessageBoxW(owner, text, caption, 0); }))
            return result;
    }
    platform::TraceUserText(body);
    if (!QGuiApplication::instance() || !platform::CurrentDisplay()->IsEventThread(GetCurrentThreadId())) {
        // Nobody could see or dismiss a box: the text goes where a person running this reads it.
        const std::string line = platform::Narrow(title.empty() ? body : title + L": " + body) + "\n";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        return IDOK;
    }
    return RunBox(owner, body, title);
}
