#pragma once

#include "api/failure.h"
#include "api/network.h"
#include "model/enums.h"
#include "model/playlist.h"
#include "model/records.h"

#include <QCoroTask>
#include <QObject>

#include <algorithm>
#include <array>
#include <memory>

// The whole catalogue of each section, downloaded once however many ask for it at the same
// time: the home rows and the section screen want the same 60 MB of movies, and both get the
// one download. A new generation (a refresh, another playlist) cancels what is in flight;
// those answers land as cancelled and are never handed out as the new ones.
class CatalogueDownloads : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~CatalogueDownloads() override;

    // The section's whole catalogue of `playlist`: joins a download in flight for the same
    // playlist in this generation, or starts one.
    QCoro::Task<Result<QList<MediaItem>>> fetch(Playlist playlist, Section section);

    // Drops every download in flight and begins a new generation.
    void renew();
    quint64 generation() const { return m_generation; }
    // Whether a catalogue is being downloaded.
    bool busy() const
    {
        return std::any_of(m_inFlight.cbegin(), m_inFlight.cend(), [](const auto &download) { return bool(download); });
    }
    // Downloads started since the store was made.
    int started() const { return m_started; }

private:
    class Download;

    QCoro::Task<> run(std::shared_ptr<Download> download, Section section);

    std::array<std::shared_ptr<Download>, 3> m_inFlight; // by Section
    quint64 m_generation = 0;
    int m_started = 0;
};
