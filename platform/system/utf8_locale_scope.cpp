#include "platform/utf8_locale_scope.h"

#include <initializer_list>

#include <locale.h>

namespace platform {

Utf8LocaleScope::Utf8LocaleScope()
{
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
        if (locale_t utf8 = newlocale(LC_ALL_MASK, name, locale_t(nullptr))) {
            m_utf8 = utf8;
            m_previous = uselocale(utf8);
            return;
        }
    }
}

Utf8LocaleScope::~Utf8LocaleScope()
{
    if (!m_utf8)
        return;
    uselocale(static_cast<locale_t>(m_previous));
    freelocale(static_cast<locale_t>(m_utf8));
}

} // namespace platform
