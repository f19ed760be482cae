#include "deviceservice.h"

#include "jsonout.h"
#include "media.h"

#include <array>

namespace Lab::DeviceService {

namespace {

using namespace Qt::StringLiterals;

struct Language
{
    QString code;
    QString name;
    std::array<QString, 12> words; // in the order of wordKeys()
};

const std::array<Language, 3> languages{{
    {u"en"_s, u"English"_s,
     {u"Favorites"_s, u"Recently Viewed"_s, u"Your playlist expires"_s, u"Your playlist expires:"_s, u"days left"_s,
      u"Unlimited"_s, u"Live TV"_s, u"Movies"_s, u"TV Shows"_s, u"Settings"_s, u"Latest Movies"_s, u"Latest TV Shows"_s}},
    {u"de"_s, u"Deutsch"_s,
     {u"Favoriten"_s, u"Zuletzt gesehen"_s, u"Ihre Playlist läuft ab"_s, u"Ihre Playlist läuft ab:"_s, u"Tage übrig"_s,
      u"Unbegrenzt"_s, u"Live-TV"_s, u"Filme"_s, u"Serien"_s, u"Einstellungen"_s, u"Neueste Filme"_s, u"Neueste Serien"_s}},
    {u"hr"_s, u"Hrvatski"_s,
     {u"Favoriti"_s, u"Nedavno gledano"_s, u"Vaša playlista istječe"_s, u"Vaša playlista istječe:"_s, u"dana preostalo"_s,
      u"Neograničeno"_s, u"TV uživo"_s, u"Filmovi"_s, u"Serije"_s, u"Postavke"_s, u"Najnoviji filmovi"_s,
      u"Najnovije serije"_s}},
}};

} // namespace

QStringList wordKeys()
{
    return {u"favorites"_s, u"recent_viewed"_s, u"playlist_expires"_s, u"your_playlist_expires"_s, u"days_left"_s,
            u"Unlimited"_s, u"live_tv"_s, u"movies"_s, u"tv_shows"_s, u"settings"_s, u"latest_movies"_s,
            u"latest_tv_shows"_s};
}

QByteArray playlistInformation(const QString &deviceId, const QString &playlistAddress, qint64 expiresAt)
{
    const QStringList keys = wordKeys();
    QByteArray out;
    JsonOut json(out);
    json.beginObject();
    json.key("mac_address").text(deviceId);
    json.key("urls").beginArray().text(playlistAddress).endArray();
    json.key("is_trial").number(0);
    json.key("expire_date");
    if (expiresAt > 0)
        json.text(QLatin1StringView(QByteArray::number(expiresAt)));
    else
        json.null();
    json.key("languages").beginArray();
    for (const Language &language : languages) {
        json.beginObject();
        json.key("code").text(language.code);
        json.key("name").text(language.name);
        json.key("words").beginObject();
        for (qsizetype i = 0; i < keys.size(); ++i) {
            const QByteArray key = keys[i].toLatin1();
            json.key(key.constData()).text(language.words[size_t(i)]);
        }
        json.key("words_version").number(3); // not a word: players skip it
        json.endObject();
        json.endObject();
    }
    json.endArray();
    json.endObject();
    return out;
}

QByteArray appSettings(const QString &base)
{
    QByteArray out;
    JsonOut json(out);
    json.beginObject();
    json.key("app_version").text("1.0");
    json.key("themes").beginArray();
    const QStringList names = MediaLibrary::themeNames();
    for (qsizetype i = 0; i < names.size(); ++i) {
        json.beginObject();
        json.key("name").text(names[i]);
        json.key("url").text(base + u"/images/themes/%1.jpg"_s.arg(i));
        json.endObject();
    }
    json.endArray();
    json.key("notice").text("");
    json.endObject();
    return out;
}

} // namespace Lab::DeviceService
