#include "dui/dialog_builder.h"

#include "dui/attributes.h"
#include "dui/button.h"
#include "dui/container.h"
#include "dui/label.h"
#include "dui/paint_manager.h"
#include "dui/progress.h"

#include <QXmlStreamReader>

#include <memory>
#include <vector>

namespace {

std::wstring Wide(QStringView text) { return text.toString().toStdWString(); }

std::unique_ptr<CControlUI> MakeControl(const std::wstring& element, IDialogBuilderCallback* callback)
{
    if (element == L"VerticalLayout")
        return std::make_unique<CVerticalLayoutUI>();
    if (element == L"HorizontalLayout")
        return std::make_unique<CHorizontalLayoutUI>();
    if (element == L"Container")
        return std::make_unique<CContainerUI>();
    if (element == L"Control")
        return std::make_unique<CControlUI>();
    if (element == L"Label")
        return std::make_unique<CLabelUI>();
    if (element == L"Text")
        return std::make_unique<CTextUI>();
    if (element == L"Button")
        return std::make_unique<CButtonUI>();
    if (element == L"Progress")
        return std::make_unique<CProgressUI>();
    if (callback)
        return std::unique_ptr<CControlUI>(callback->CreateControl(element.c_str()));
    return nullptr;
}

void ApplyWindowAttribute(CPaintManagerUI& manager, const std::wstring& name, const std::wstring& value)
{
    if (name == L"size") {
        const SIZE size = dui::ParseSize(value);
        manager.SetInitSize(size.cx, size.cy);
    } else if (name == L"caption") {
        // Either the strip's height or a rectangle "l,t,r,b".
        RECT caption;
        if (value.find(L',') == std::wstring::npos)
            caption.bottom = dui::ParseLength(value);
        else
            caption = dui::ParseRect(value);
        manager.SetCaptionRect(caption);
    } else if (name == L"roundcorner") {
        const SIZE size = dui::ParseSize(value);
        manager.SetRoundCorner(size.cx, size.cy);
    } else if (name == L"title") {
        manager.SetTitle(value.c_str());
    } else if (name == L"titlefrom") {
        manager.SetTitleControl(value.c_str());
    } else if (name == L"mininfo") {
        const SIZE size = dui::ParseSize(value);
        manager.SetMinInfo(size.cx, size.cy);
    }
}

void AddFont(CPaintManagerUI& manager, const QXmlStreamAttributes& attributes)
{
    const int id = dui::ParseInt(Wide(attributes.value(QStringLiteral("id"))), -1);
    if (id < 0)
        return;
    const std::wstring name = Wide(attributes.value(QStringLiteral("name")));
    const int size = dui::ParseLength(Wide(attributes.value(QStringLiteral("size"))), 12);
    const bool bold = dui::ParseBool(Wide(attributes.value(QStringLiteral("bold"))));
    const bool underline = dui::ParseBool(Wide(attributes.value(QStringLiteral("underline"))));
    const bool italic = dui::ParseBool(Wide(attributes.value(QStringLiteral("italic"))));
    manager.AddFont(id, name.c_str(), size, bold, underline, italic);
}

// One pass over a layout's elements, in document order: the Window element's attributes and
// the fonts go to the manager, each control into the container open above it. An element no
// one knows, a child of a control that holds none and a second root are skipped with their
// children.
class LayoutTreeBuilder {
public:
    LayoutTreeBuilder(CPaintManagerUI& manager, IDialogBuilderCallback* callback)
        : m_manager(manager), m_callback(callback)
    {
    }

    void StartElement(const std::wstring& element, const QXmlStreamAttributes& attributes)
    {
        if (m_skipDepth > 0) {
            ++m_skipDepth;
            return;
        }
        if (element == L"Window" && m_stack.empty() && !m_sawWindow) {
            m_sawWindow = true;
            for (const auto& attribute : attributes)
                ApplyWindowAttribute(m_manager, Wide(attribute.name()), Wide(attribute.value()));
            m_stack.push_back(nullptr);
            return;
        }
        if (element == L"Font") {
            AddFont(m_manager, attributes);
            m_skipDepth = 1;
            return;
        }
        std::unique_ptr<CControlUI> control = MakeControl(element, m_callback);
        if (!control) {
            m_skipDepth = 1;
            return;
        }
        control->SetManager(&m_manager, nullptr);
        for (const auto& attribute : attributes) {
            const std::wstring name = Wide(attribute.name());
            const std::wstring value = Wide(attribute.value());
            control->SetAttribute(name.c_str(), value.c_str());
        }
        Place(std::move(control));
    }

    void EndElement()
    {
        if (m_skipDepth > 0)
            --m_skipDepth;
        else if (!m_stack.empty())
            m_stack.pop_back();
    }

    std::unique_ptr<CControlUI> TakeRoot() { return std::move(m_root); }

private:
    void Place(std::unique_ptr<CControlUI> control)
    {
        CControlUI* raw = control.get();
        CControlUI* parent = m_stack.empty() ? nullptr : m_stack.back();
        if (parent) {
            auto* container = static_cast<CContainerUI*>(parent->GetInterface(L"Container"));
            if (!container) {
                m_skipDepth = 1;
                return;
            }
            container->Add(std::move(control));
        } else if (!m_root) {
            m_root = std::move(control);
        } else {
            m_skipDepth = 1; // a second root
            return;
        }
        m_stack.push_back(raw);
    }

    CPaintManagerUI& m_manager;
    IDialogBuilderCallback* m_callback;
    std::unique_ptr<CControlUI> m_root;
    // Open elements: the container each one adds to (null for the Window element).
    std::vector<CControlUI*> m_stack;
    int m_skipDepth = 0;
    bool m_sawWindow = false;
};

} // namespace

CControlUI* CDialogBuilder::Create(LPCTSTR skinFile, CPaintManagerUI* manager, IDialogBuilderCallback* callback)
{
    if (!manager || !skinFile) {
        m_error = L"no manager or no layout name";
        return nullptr;
    }
    const auto xml = manager->ReadSkinFile(CDuiString(skinFile));
    if (!xml) {
        m_error = CDuiString(L"layout not found: ") + skinFile;
        return nullptr;
    }
    return CreateFromXml(*xml, manager, callback);
}

CControlUI* CDialogBuilder::CreateFromXml(
    std::string_view xml, CPaintManagerUI* manager, IDialogBuilderCallback* callback)
{
    m_error.Empty();
    if (!manager) {
        m_error = L"no manager";
        return nullptr;
    }
    QXmlStreamReader reader(QByteArray(xml.data(), static_cast<qsizetype>(xml.size())));
    LayoutTreeBuilder builder(*manager, callback);
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement)
            builder.StartElement(Wide(reader.name()), reader.attributes());
        else if (token == QXmlStreamReader::EndElement)
            builder.EndElement();
    }
    if (reader.hasError()) {
        m_error = CDuiString(L"layout is not well-formed XML: ") + CDuiString(Wide(reader.errorString()));
        return nullptr;
    }
    std::unique_ptr<CControlUI> root = builder.TakeRoot();
    if (!root) {
        m_error = L"layout has no control";
        return nullptr;
    }
    return root.release();
}
