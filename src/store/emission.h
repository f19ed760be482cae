#pragma once

#include <QObject>
#include <QPointer>

#include <coroutine>
#include <memory>
#include <utility>

// `co_await nextEmission(object, &Type::signal)` resumes the waiting coroutine once, from the
// event loop, after the signal's next emission.
//
// Waiting with qCoro(object, signal) is not safe for a signal that can be emitted again before
// the wait resumes: every emission queues its own call of the same resumption, and the second
// resumes a coroutine that has already moved on, or ended and been freed. Here the connection
// fires once, the queued call resumes only a wait that still stands, and a wait that ends
// unresumed (its coroutine destroyed) leaves nothing behind that could resume it.
template<typename T, typename Signal>
class NextEmission
{
public:
    NextEmission(T *object, Signal signal)
        : m_object(object)
        , m_signal(signal)
    {
    }
    // Moved only before the wait begins (QCoro's tasks take their awaitables by value).
    NextEmission(NextEmission &&) noexcept = default;
    NextEmission(const NextEmission &) = delete;
    NextEmission &operator=(const NextEmission &) = delete;
    NextEmission &operator=(NextEmission &&) = delete;
    ~NextEmission()
    {
        if (m_waiting)
            *m_waiting = {};
        QObject::disconnect(m_connection);
    }

    // A gone object emits nothing more: nothing to wait for.
    bool await_ready() const noexcept { return m_object.isNull(); }
    void await_suspend(std::coroutine_handle<> coroutine)
    {
        m_waiting = std::make_shared<std::coroutine_handle<>>(coroutine);
        m_connection = QObject::connect(
            m_object.data(), m_signal, m_object.data(),
            [waiting = m_waiting] {
                if (const std::coroutine_handle<> resumed = std::exchange(*waiting, {}))
                    resumed.resume();
            },
            Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
    }
    void await_resume() const noexcept {}

private:
    QPointer<T> m_object;
    Signal m_signal;
    std::shared_ptr<std::coroutine_handle<>> m_waiting;
    QMetaObject::Connection m_connection;
};

template<typename T, typename Signal>
NextEmission<T, Signal> nextEmission(T *object, Signal signal)
{
    return NextEmission<T, Signal>(object, signal);
}
