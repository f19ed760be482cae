#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

#include <utility>
#include <variant>

// Why a request gave nothing the player can use, as a kind the user can be told about.
// Requests answer a value or one of these; they never answer emptiness for a failure.
class Failure
{
    Q_GADGET
    Q_PROPERTY(Kind kind MEMBER kind FINAL)
    Q_PROPERTY(int httpStatus MEMBER httpStatus FINAL)
    Q_PROPERTY(QString text READ text FINAL)

public:
    // The capitalised keys name the same values for QML.
    enum class Kind {
        unreachable,        // no connection, or it broke before the server said anything
        timedOut,           // nothing arrived for too long, or the whole answer took too long
        credentialsRefused, // 401 or 403, or an account answer with "auth" 0
        serverFailed,       // a 5xx status, an answer broken off, a redirect not followed
        notUnderstood,      // the body is not JSON of an object or an array
        tooLarge,           // the body went past the size allowed for the request
        cancelled,          // the one who asked stopped it
        Unreachable = unreachable,
        TimedOut = timedOut,
        CredentialsRefused = credentialsRefused,
        ServerFailed = serverFailed,
        NotUnderstood = notUnderstood,
        TooLarge = tooLarge,
        Cancelled = cancelled,
    };
    Q_ENUM(Kind)

    Kind kind = Kind::unreachable;
    int httpStatus = 0; // the status the server answered with, 0 when there was none

    // What the user is told, in one sentence.
    QString text() const;
    // The kind's name for diagnostics ("timedOut").
    static const char *kindName(Kind kind);

    bool operator==(const Failure &) const = default;
};

// A value, or the failure that stands in its place (std::expected arrives with C++23).
template<typename T>
class Result
{
public:
    // A failure until assigned: QCoro's blocking wait needs a default, and a default must never
    // read as a success.
    Result()
        : m_state(std::in_place_index<1>, Failure{})
    {
    }
    Result(T value)
        : m_state(std::in_place_index<0>, std::move(value))
    {
    }
    Result(Failure failure)
        : m_state(std::in_place_index<1>, failure)
    {
    }

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T &value() const & { return std::get<0>(m_state); }
    T &value() & { return std::get<0>(m_state); }
    T &&value() && { return std::get<0>(std::move(m_state)); }
    const T &operator*() const & { return value(); }
    T &&operator*() && { return std::move(*this).value(); }
    const T *operator->() const { return &value(); }

    // Only for a result that is not ok().
    const Failure &failure() const { return std::get<1>(m_state); }

    // The value, or `fallback` where a caller may quietly do without it.
    T valueOr(T fallback) const & { return ok() ? value() : std::move(fallback); }
    T valueOr(T fallback) && { return ok() ? std::move(*this).value() : std::move(fallback); }

    bool operator==(const Result &) const = default;

private:
    std::variant<T, Failure> m_state;
};

Q_DECLARE_METATYPE(Failure)
