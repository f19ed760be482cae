#pragma once

#include "api/failure.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <optional>

// One place's last failure as a screen reads it: whether there is one, its words and its kind.
class PlaceFailure
{
    Q_GADGET
    Q_PROPERTY(bool failed READ failed FINAL)
    Q_PROPERTY(QString text READ text FINAL)
    Q_PROPERTY(Failure::Kind kind READ kind FINAL)
    Q_PROPERTY(int httpStatus READ httpStatus FINAL)

public:
    PlaceFailure() = default;
    PlaceFailure(Failure failure, QString text)
        : m_failure(failure)
        , m_text(std::move(text))
    {
    }

    bool failed() const { return m_failure.has_value(); }
    QString text() const { return m_text; }
    Failure::Kind kind() const { return m_failure ? m_failure->kind : Failure::Kind::unreachable; }
    int httpStatus() const { return m_failure ? m_failure->httpStatus : 0; }
    const std::optional<Failure> &failure() const { return m_failure; }

    bool operator==(const PlaceFailure &) const = default;

private:
    std::optional<Failure> m_failure;
    QString m_text;
};

// The last failure of each place a screen shows, kept until that place next succeeds, and the
// Retry of each place. The store owns it and reaches it to QML as `AppStore.failures`:
//
//   FailurePanel { failure: AppStore.failures.home; onRetry: AppStore.failures.retryHome() }
//
// A cancelled request is never kept: the user asked for it.
class Failures : public QObject
{
    Q_OBJECT
    Q_PROPERTY(PlaceFailure connect READ connectFailure NOTIFY connectChanged FINAL)
    Q_PROPERTY(PlaceFailure home READ homeFailure NOTIFY homeChanged FINAL)
    Q_PROPERTY(PlaceFailure categories READ categoriesFailure NOTIFY categoriesChanged FINAL)
    Q_PROPERTY(PlaceFailure items READ itemsFailure NOTIFY itemsChanged FINAL)
    Q_PROPERTY(PlaceFailure details READ detailsFailure NOTIFY detailsChanged FINAL)
    Q_PROPERTY(PlaceFailure catchup READ catchupFailure NOTIFY catchupChanged FINAL)
    Q_PROPERTY(PlaceFailure deviceStatus READ deviceStatusFailure NOTIFY deviceStatusChanged FINAL)

public:
    enum class Place {
        connect,      // connecting a playlist or entering its library (the check screen)
        home,         // the home rows
        categories,   // the open section's category column
        items,        // the open section's catalogue: the grid, the channel list
        details,      // the detail screen's movie or show
        catchup,      // the catch-up panel's archive
        deviceStatus, // the device service's status (the check screen)
    };
    Q_ENUM(Place)
    static constexpr size_t placeCount = 7;

    using Retry = std::function<void()>;
    // Whether change signals are to be held back (the store's batch); flush() sends them.
    using Held = std::function<bool()>;

    explicit Failures(Held held = {}, QObject *parent = nullptr);

    const std::optional<Failure> &at(Place place) const { return m_failures[size_t(place)]; }
    PlaceFailure shown(Place place) const;
    void set(Place place, const Failure &failure);
    void clear(Place place);
    void clearAll();
    void setRetry(Place place, Retry retry) { m_retries[size_t(place)] = std::move(retry); }
    // Clears the place's failure and runs its Retry.
    void retry(Place place);
    void flush();

    // What a place says about a failure.
    static QString words(Place place, const Failure &failure);

    Q_INVOKABLE void retryConnect() { retry(Place::connect); }
    Q_INVOKABLE void retryHome() { retry(Place::home); }
    Q_INVOKABLE void retryCategories() { retry(Place::categories); }
    Q_INVOKABLE void retryItems() { retry(Place::items); }
    Q_INVOKABLE void retryDetails() { retry(Place::details); }
    Q_INVOKABLE void retryCatchup() { retry(Place::catchup); }
    Q_INVOKABLE void retryStart() { retry(Place::deviceStatus); }

    PlaceFailure connectFailure() const { return shown(Place::connect); }
    PlaceFailure homeFailure() const { return shown(Place::home); }
    PlaceFailure categoriesFailure() const { return shown(Place::categories); }
    PlaceFailure itemsFailure() const { return shown(Place::items); }
    PlaceFailure detailsFailure() const { return shown(Place::details); }
    PlaceFailure catchupFailure() const { return shown(Place::catchup); }
    PlaceFailure deviceStatusFailure() const { return shown(Place::deviceStatus); }

Q_SIGNALS:
    void connectChanged();
    void homeChanged();
    void categoriesChanged();
    void itemsChanged();
    void detailsChanged();
    void catchupChanged();
    void deviceStatusChanged();

private:
    void update(Place place, std::optional<Failure> failure);

    Held m_held;
    std::array<std::optional<Failure>, placeCount> m_failures;
    std::array<Retry, placeCount> m_retries;
    std::array<bool, placeCount> m_pending{};
};
