#pragma once

#include "catalogue.h"
#include "transfer.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace Lab::M3u {

// Where the list's addresses point and with which account.
struct Account
{
    QString base; // "http://127.0.0.1:PORT"
    QString username;
    QString password;
};

// The whole catalogue as an "m3u_plus" list: every live channel (archive channels with
// catch-up attributes), every movie under /movie/ and every episode of every show under
// /series/, grouped by category, with the guide's address in the header. Written piece by
// piece, so that the large catalogue's list (hundreds of thousands of entries) never sits in
// memory.
class Writer
{
public:
    Writer(std::shared_ptr<const Catalogue> catalogue, Account account);

    // The next piece, at least `max` bytes unless the list ends; empty after the end.
    QByteArray next(qint64 max);
    // Entries written so far.
    qint64 entries() const { return m_entries; }

private:
    void writeLive(QByteArray &out, const LiveChannel &channel);
    void writeMovie(QByteArray &out, const Movie &movie);
    void writeEpisode(QByteArray &out, const Show &show, int season, int episode);
    void writeInfo(QByteArray &out, const QString &guideId, const QString &name, const QString &logo,
                   const QString &group);

    std::shared_ptr<const Catalogue> m_catalogue;
    Account m_account;
    QByteArray m_credentials; // "/USER/PASS/", encoded for a path
    enum class Part { head, live, movies, shows, done };
    Part m_part = Part::head;
    size_t m_index = 0;
    int m_season = 1;
    int m_episode = 1;
    qint64 m_entries = 0;
};

// The whole list Writer(catalogue, account) writes, in pieces of about `piece` bytes.
QList<QByteArray> pieces(std::shared_ptr<const Catalogue> catalogue, const Account &account, qint64 piece);

// The list written as it is sent, never held whole.
BodySource source(std::shared_ptr<const Catalogue> catalogue, const Account &account);

} // namespace Lab::M3u
