// The one way an operation below the top of a run says how it went: a value, or an error with
// the system's reason and what was being done. Library code returns one and prints nothing; the
// run that called it decides what the user reads.
#pragma once

#include <cstring>
#include <string>
#include <utility>
#include <variant>

namespace platform {

struct Error {
    int code = 0; // the system's error number (errno), 0 when the failure is not the system's
    std::string context; // what was being done, and on what: "create /srv/kelvo"

    // "create /srv/kelvo: Permission denied", or the context alone.
    std::string Text() const { return code == 0 ? context : context + ": " + std::strerror(code); }
};

// An error number with the operation it came from.
inline Error SystemError(int code, std::string context) { return Error{code, std::move(context)}; }

template <class T, class E = Error>
class Result {
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : m_state(std::in_place_index<1>, std::move(error)) {}

    bool Ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return Ok(); }

    T& Value() & { return std::get<0>(m_state); }
    const T& Value() const& { return std::get<0>(m_state); }
    T&& Value() && { return std::get<0>(std::move(m_state)); }
    T* operator->() { return &Value(); }
    const T* operator->() const { return &Value(); }
    T& operator*() & { return Value(); }
    const T& operator*() const& { return Value(); }

    const E& Failure() const { return std::get<1>(m_state); }

private:
    std::variant<T, E> m_state;
};

// Nothing to return but whether it worked.
template <class E>
class Result<void, E> {
public:
    Result() = default;
    Result(E error) : m_error(std::move(error)), m_ok(false) {}

    bool Ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const E& Failure() const { return m_error; }

private:
    E m_error{};
    bool m_ok = true;
};

} // namespace platform
