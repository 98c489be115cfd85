#include "dui/notify.h"

#include "dui/control.h"

namespace {

bool SenderMatches(const DuiMessageMapEntry& entry, const TNotifyUI& msg)
{
    if (!entry.controlName || !*entry.controlName)
        return true;
    return msg.pSender && msg.pSender->GetName().CompareNoCase(entry.controlName) == 0;
}

} // namespace

const DuiMessageMap* CNotifyPump::GetMessageMap() const { return GetThisMessageMap(); }

const DuiMessageMap* CNotifyPump::GetThisMessageMap()
{
    static const DuiMessageMapEntry entries[] = {DuiMessageMapEntry{}};
    static const DuiMessageMap map{nullptr, entries};
    return &map;
}

bool CNotifyPump::NotifyPump(TNotifyUI& msg)
{
    for (const DuiMessageMap* map = GetMessageMap(); map; map = map->base ? map->base() : nullptr) {
        // Rows for a named sender win over rows for any sender within one map.
        for (int pass = 0; pass < 2; ++pass) {
            for (const DuiMessageMapEntry* entry = map->entries; entry->type; ++entry) {
                const bool named = entry->controlName && *entry->controlName;
                if (named != (pass == 0))
                    continue;
                if (msg.sType.Compare(entry->type) != 0 || !SenderMatches(*entry, msg))
                    continue;
                entry->handler(*this, msg);
                return true;
            }
        }
    }
    return false;
}
