// Liveness of an object that may be deleted from inside its own callbacks: a window object that
// deletes itself with its window, a paint manager whose window goes in a notification handler.
// The object holds a CLifetime; code that calls out and must not touch the object afterwards
// takes a CLifeWatch first and asks it once the call has returned.
#pragma once

#include <memory>
#include <utility>

class CLifeWatch {
public:
    CLifeWatch() = default; // watches nothing: never alive
    bool Alive() const { return !m_token.expired(); }

private:
    friend class CLifetime;
    explicit CLifeWatch(std::weak_ptr<const void> token) : m_token(std::move(token)) {}
    std::weak_ptr<const void> m_token;
};

class CLifetime {
public:
    CLifetime() = default;
    // A copy belongs to another object, with a life of its own.
    CLifetime(const CLifetime&) : CLifetime() {}
    CLifetime& operator=(const CLifetime&) { return *this; }

    CLifeWatch Watch() const { return CLifeWatch(m_token); }

private:
    std::shared_ptr<const int> m_token = std::make_shared<const int>(0);
};
