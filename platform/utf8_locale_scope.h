// Runs a stretch of code on the calling thread under a UTF-8 locale, whatever the process
// locale is. libarchive converts entry names through the thread's locale: under "C" names in
// CP936 or UTF-8 cannot be represented and come back empty.
#pragma once

namespace platform {

class Utf8LocaleScope {
public:
    Utf8LocaleScope();
    ~Utf8LocaleScope();
    Utf8LocaleScope(const Utf8LocaleScope&) = delete;
    Utf8LocaleScope& operator=(const Utf8LocaleScope&) = delete;

    // False when no UTF-8 locale could be made; the thread's locale is then unchanged.
    bool Active() const { return m_utf8 != nullptr; }

private:
    void* m_utf8 = nullptr; // locale_t
    void* m_previous = nullptr; // locale_t
};

} // namespace platform
