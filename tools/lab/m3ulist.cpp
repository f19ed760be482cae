#include "m3ulist.h"

#include <QUrl>

namespace Lab::M3u {

using namespace Qt::StringLiterals;

namespace {

QByteArray pathPart(const QString &text)
{
    return QUrl::toPercentEncoding(text, "!$&'()*+,;=:@");
}

QByteArray queryPart(const QString &text)
{
    return QUrl::toPercentEncoding(text);
}

// Panels write names into quoted attributes as they are, quotes and all; only a line break
// would end the entry.
QByteArray attribute(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace('\n', ' ').replace('\r', ' ');
    return bytes;
}

QString movieExtension(const Movie &movie)
{
    // Only these are served; a row without one plays as mp4, as panels default it.
    return movie.extension == "mkv"_L1 ? movie.extension : u"mp4"_s;
}

} // namespace

Writer::Writer(std::shared_ptr<const Catalogue> catalogue, Account account)
    : m_catalogue(std::move(catalogue))
    , m_account(std::move(account))
    , m_credentials('/' + pathPart(m_account.username) + '/' + pathPart(m_account.password) + '/')
{
}

QByteArray Writer::next(qint64 max)
{
    QByteArray out;
    out.reserve(qsizetype(std::min<qint64>(max, 1 << 20)) + 1024);
    const Catalogue &catalogue = *m_catalogue;
    while (out.size() < max && m_part != Part::done) {
        switch (m_part) {
        case Part::head: {
            const QByteArray guide = m_account.base.toUtf8() + "/xmltv.php?username=" + queryPart(m_account.username)
                + "&password=" + queryPart(m_account.password);
            out += "#EXTM3U url-tvg=\"" + guide + "\" x-tvg-url=\"" + guide + "\"\n";
            m_part = Part::live;
            break;
        }
        case Part::live:
            if (m_index < catalogue.live().size()) {
                writeLive(out, catalogue.live()[m_index++]);
            } else {
                m_part = Part::movies;
                m_index = 0;
            }
            break;
        case Part::movies:
            if (m_index < catalogue.movies().size()) {
                writeMovie(out, catalogue.movies()[m_index++]);
            } else {
                m_part = Part::shows;
                m_index = 0;
            }
            break;
        case Part::shows: {
            if (m_index >= catalogue.shows().size()) {
                m_part = Part::done;
                break;
            }
            const Show &show = catalogue.shows()[m_index];
            if (m_season > show.seasons) {
                ++m_index;
                m_season = 1;
                m_episode = 1;
            } else if (m_episode > catalogue.episodeCount(show, m_season)) {
                ++m_season;
                m_episode = 1;
            } else {
                writeEpisode(out, show, m_season, m_episode++);
            }
            break;
        }
        case Part::done:
            break;
        }
    }
    return out;
}

void Writer::writeInfo(QByteArray &out, const QString &guideId, const QString &name, const QString &logo,
                       const QString &group)
{
    out += "#EXTINF:-1 tvg-id=\"" + attribute(guideId) + "\" tvg-name=\"" + attribute(name) + "\" tvg-logo=\""
        + attribute(logo) + "\" group-title=\"" + attribute(group) + '"';
}

void Writer::writeLive(QByteArray &out, const LiveChannel &channel)
{
    const Catalogue &catalogue = *m_catalogue;
    const QByteArray id = QByteArray::number(channel.id);
    writeInfo(out, channel.epgChannelId, channel.name,
              catalogue.imageAddress(channel.icon, channel.image, false, channel.id),
              catalogue.categories(Kind::live)[channel.category].name);
    if (channel.archive) {
        out += " catchup=\"default\"";
        if (channel.archiveDays > 0)
            out += " catchup-days=\"" + QByteArray::number(channel.archiveDays) + '"';
        // The lab's timeshift route: minutes, then the start as "YYYY-MM-DD:HH-MM".
        out += " catchup-source=\"" + m_account.base.toUtf8() + "/timeshift" + m_credentials
            + "{duration:60}/{Y}-{m}-{d}:{H}-{M}/" + id + ".m3u8\"";
    }
    out += ',' + attribute(channel.name) + '\n';
    out += m_account.base.toUtf8() + "/live" + m_credentials + id + ".ts\n";
    ++m_entries;
}

void Writer::writeMovie(QByteArray &out, const Movie &movie)
{
    const Catalogue &catalogue = *m_catalogue;
    writeInfo(out, QString(), movie.name, catalogue.imageAddress(movie.icon, movie.image, true, movie.id),
              catalogue.categories(Kind::movie)[movie.category].name);
    out += ',' + attribute(movie.name) + '\n';
    out += m_account.base.toUtf8() + "/movie" + m_credentials + QByteArray::number(movie.id) + '.'
        + movieExtension(movie).toUtf8() + '\n';
    ++m_entries;
}

void Writer::writeEpisode(QByteArray &out, const Show &show, int season, int episode)
{
    const Catalogue &catalogue = *m_catalogue;
    const qint64 id = Catalogue::episodeId(show, season, episode);
    const auto ref = catalogue.episode(id);
    const QString name =
        u"%1 S%2 E%3"_s.arg(show.name).arg(season, 2, 10, QChar(u'0')).arg(episode, 2, 10, QChar(u'0'));
    writeInfo(out, QString(), name, catalogue.imageAddress(show.icon, show.image, true, show.id),
              catalogue.categories(Kind::series)[show.category].name);
    out += ',' + attribute(name) + '\n';
    out += m_account.base.toUtf8() + "/series" + m_credentials + QByteArray::number(id) + '.'
        + (ref ? ref->extension : u"mp4"_s).toUtf8() + '\n';
    ++m_entries;
}

QList<QByteArray> pieces(std::shared_ptr<const Catalogue> catalogue, const Account &account, qint64 piece)
{
    Writer writer(std::move(catalogue), account);
    QList<QByteArray> out;
    for (QByteArray next = writer.next(piece); !next.isEmpty(); next = writer.next(piece))
        out.append(std::move(next));
    return out;
}

BodySource source(std::shared_ptr<const Catalogue> catalogue, const Account &account)
{
    struct State
    {
        Writer writer;
        QByteArray pending;
        qsizetype offset = 0;
    };
    auto state = std::make_shared<State>(State{Writer(std::move(catalogue), account), {}, 0});
    return [state](qint64 max) -> QByteArray {
        if (state->offset >= state->pending.size()) {
            state->pending = state->writer.next(max);
            state->offset = 0;
        }
        const qsizetype length = qsizetype(std::min<qint64>(max, state->pending.size() - state->offset));
        QByteArray piece = state->offset == 0 && length == state->pending.size()
            ? state->pending
            : state->pending.mid(state->offset, length);
        state->offset += length;
        return piece;
    };
}

} // namespace Lab::M3u
