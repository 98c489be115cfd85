// The one way an operation below the top of a run says how it went: a value, or an error with
// the system's reason and what was being done. Library code returns one and prints nothing; the
// run that called it decides what the user reads.
//
// A Result must be looked at: dropping one fails the build (-Werror=unused-result). Passing a
// failure on to the caller is one line:
//
//     INSTALLER_TRY(file.Write(data, size));                      // Result<void>
//     INSTALLER_TRY_ASSIGN(folder, root.OpenFolder("kelvoClient")); // Result<FolderHandle>
//
// Both return the failure as it is from a function whose own Result has the same error type.
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
class [[nodiscard]] Result {
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

    const E& Failure() const& { return std::get<1>(m_state); }
    E&& Failure() && { return std::get<1>(std::move(m_state)); }

private:
    std::variant<T, E> m_state;
};

// Nothing to return but whether it worked.
template <class E>
class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    Result(E error) : m_error(std::move(error)), m_ok(false) {}

    bool Ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const E& Failure() const& { return m_error; }
    E&& Failure() && { return std::move(m_error); }

private:
    E m_error{};
    bool m_ok = true;
};

} // namespace platform

#define INSTALLER_RESULT_CONCAT_(a, b) a##b
#define INSTALLER_RESULT_NAME_(line) INSTALLER_RESULT_CONCAT_(installerResult_, line)

// Evaluates `expr` (a Result<void, E>, or one whose value is not needed) and returns its failure
// from the enclosing function.
#define INSTALLER_TRY(expr)                                                                                            \
    do {                                                                                                               \
        if (auto installerTried_ = (expr); !installerTried_)                                                           \
            return std::move(installerTried_).Failure();                                                               \
    } while (false)

// Declares `name` holding the value of `expr` (a Result<T, E>), or returns its failure from the
// enclosing function.
#define INSTALLER_TRY_ASSIGN(name, expr) INSTALLER_TRY_ASSIGN_IMPL_(name, expr, INSTALLER_RESULT_NAME_(__LINE__))
#define INSTALLER_TRY_ASSIGN_IMPL_(name, expr, result)                                                                 \
    auto result = (expr);                                                                                              \
    if (!result)                                                                                                       \
        return std::move(result).Failure();                                                                            \
    auto name = std::move(result).Value()
