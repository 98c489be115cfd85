// A value that is built on first use and never destroyed: the core's process-wide tables stay
// usable by threads that still run while the program exits.
#pragma once

#include <new>
#include <utility>

namespace platform {

template <typename T>
class Immortal {
public:
    template <typename... Args>
    explicit Immortal(Args&&... args)
    {
        ::new (static_cast<void*>(m_storage)) T(std::forward<Args>(args)...);
    }
    ~Immortal() = default; // deliberately leaves the value alone
    Immortal(const Immortal&) = delete;
    Immortal& operator=(const Immortal&) = delete;

    T& Get() { return *std::launder(reinterpret_cast<T*>(m_storage)); }

private:
    alignas(T) unsigned char m_storage[sizeof(T)];
};

} // namespace platform
