#include "failures.h"

namespace {

using Signal = void (Failures::*)();
constexpr std::array<Signal, Failures::placeCount> changeSignals{
    &Failures::connectChanged, &Failures::homeChanged,   &Failures::categoriesChanged,  &Failures::itemsChanged,
    &Failures::detailsChanged, &Failures::catchupChanged, &Failures::deviceStatusChanged,
};

} // namespace

Failures::Failures(Held held, QObject *parent)
    : QObject(parent)
    , m_held(std::move(held))
{
}

PlaceFailure Failures::shown(Place place) const
{
    const std::optional<Failure> &failure = at(place);
    if (!failure)
        return {};
    return PlaceFailure(*failure, words(place, *failure));
}

void Failures::set(Place place, const Failure &failure)
{
    if (failure.kind == Failure::Kind::cancelled)
        return;
    update(place, failure);
}

void Failures::clear(Place place)
{
    update(place, std::nullopt);
}

void Failures::clearAll()
{
    for (size_t i = 0; i < placeCount; ++i)
        update(Place(i), std::nullopt);
}

void Failures::retry(Place place)
{
    clear(place);
    if (const Retry &action = m_retries[size_t(place)])
        action();
}

void Failures::update(Place place, std::optional<Failure> failure)
{
    std::optional<Failure> &field = m_failures[size_t(place)];
    if (field == failure)
        return;
    field = failure;
    if (m_held && m_held()) {
        m_pending[size_t(place)] = true;
        return;
    }
    Q_EMIT(this->*changeSignals[size_t(place)])();
}

void Failures::flush()
{
    for (size_t i = 0; i < placeCount; ++i) {
        if (std::exchange(m_pending[i], false))
            Q_EMIT(this->*changeSignals[i])();
    }
}

QString Failures::words(Place place, const Failure &failure)
{
    // The check screen speaks of the device service, not of "the server".
    if (place == Place::deviceStatus)
        return QStringLiteral("Couldn't reach the device service");
    return failure.text();
}
