// Stored choices, themes, the words of the chosen language and the account's expiry.
#include "appstore.h"

#include "api/streamaddress.h"
#include "store/appstore_p.h"
#include "store/preferences.h"

#include <QDateTime>
#include <QPointer>
#include <QTimer>

#include <cmath>

using namespace AppStoreDetail;

// Each writer stores the value at once, also when it is the value already held: the key then
// exists in the file, as a reset to 0 after start-up must leave it.
void AppStore::setThemeIndex(int index)
{
    const bool changed = assign(m_themeIndex, index, &AppStore::themeIndexChanged);
    m_preferences->setThemeIndex(index);
    if (changed)
        updateThemeURL();
}

void AppStore::setLiveSortIndex(int index)
{
    if (assign(m_liveSortIndex, index, &AppStore::liveSortIndexChanged)) {
        m_keptOrders[size_t(Section::live)].clear();
        scheduleKeptOrder(Section::live);
    }
    m_preferences->setLiveSortIndex(index);
    m_search->catalogueChanged(Section::live);
    if (m_phase == Phase::section && m_section == Section::live)
        startTask(loadItems());
}

void AppStore::setLanguageCode(const QString &code)
{
    const bool changed = assign(m_languageCode, code, &AppStore::languageCodeChanged);
    m_preferences->setLanguage(code);
    if (changed)
        updateWordsAndTexts();
}

void AppStore::setParentalPIN(const QString &pin)
{
    assign(m_parentalPIN, pin, &AppStore::parentalPINChanged);
    m_preferences->setPin(pin);
}

void AppStore::setThemes(QList<Theme> themes)
{
    if (assign(m_themes, std::move(themes), &AppStore::themesChanged))
        updateThemeURL();
}

QVariantList AppStore::qmlThemes() const
{
    QVariantList list;
    list.reserve(m_themes.size());
    for (const Theme &theme : m_themes)
        list.append(QVariant::fromValue(theme));
    return list;
}

void AppStore::setLanguages(QList<MavuAPI::Language> languages)
{
    // Languages have no equality of their own: compare what the store reads of them.
    const bool same = languages.size() == m_languages.size()
        && std::equal(languages.cbegin(), languages.cend(), m_languages.cbegin(), [](const auto &a, const auto &b) {
               return a.code == b.code && a.name == b.name && a.words == b.words;
           });
    if (same)
        return;
    m_languages = std::move(languages);
    notify(&AppStore::languagesChanged);
    updateWordsAndTexts();
}

void AppStore::setPlaylistExpTs(std::optional<qint64> expiry)
{
    if (assign(m_playlistExpTs, expiry, &AppStore::playlistExpTsChanged))
        updateWordsAndTexts();
}

void AppStore::setAccountConnections(std::optional<int> max, std::optional<int> active)
{
    const Batch batch(this); // one signal for both
    assign(m_maxConnections, max, &AppStore::accountConnectionsChanged);
    assign(m_activeConnections, active, &AppStore::accountConnectionsChanged);
}

std::optional<QUrl> AppStore::currentThemeURL() const
{
    if (m_themeIndex < 0 || m_themeIndex >= m_themes.size())
        return std::nullopt;
    const QString &address = m_themes.at(m_themeIndex).url;
    if (address.isEmpty())
        return std::nullopt;
    return StreamAddress::webPicture(address);
}

void AppStore::updateThemeURL()
{
    assign(m_announcedThemeURL, currentThemeURL(), &AppStore::currentThemeURLChanged);
}

QHash<QString, QString> AppStore::words() const
{
    const QString wanted = m_languageCode.toLower();
    for (const MavuAPI::Language &language : m_languages) {
        if (language.code.toLower() == wanted)
            return language.words;
    }
    for (const MavuAPI::Language &language : m_languages) {
        if (language.code == QLatin1String("en"))
            return language.words;
    }
    return {};
}

QString AppStore::t(const QString &key, const QString &fallback) const
{
    return WordTable(words()).t(key, fallback);
}

void AppStore::updateWordsAndTexts()
{
    assign(m_announcedWords, words(), &AppStore::wordsChanged);
    assign(m_announcedExpiryText, expiryText(), &AppStore::expiryTextChanged);
    scheduleExpiryRefresh();
}

void AppStore::setClock(Clock clock)
{
    m_clock = std::move(clock);
    updateWordsAndTexts();
}

namespace {
constexpr qint64 dayMs = 86400 * 1000;
// The timer counts time awake only, and the clock may be set anew: it looks again at least this often.
constexpr qint64 longestWaitMs = 3600 * 1000;
} // namespace

void AppStore::scheduleExpiryRefresh()
{
    // The days left change whenever the time left crosses a whole number of days, which is the
    // expiry's own time of day, not midnight.
    const qint64 expiry = m_playlistExpTs.value_or(0);
    const QDateTime instant = QDateTime::fromSecsSinceEpoch(expiry);
    const qint64 now = m_clock().toMSecsSinceEpoch();
    if (expiry <= 0 || !instant.isValid() || instant.date().year() >= 2101 || expiry * 1000 <= now) {
        m_expiryRefresh->stop();
        return;
    }
    const qint64 left = expiry * 1000 - now;
    const qint64 untilChange = left - (left - 1) / dayMs * dayMs; // (0, one day]
    m_expiryRefresh->start(int(std::min(untilChange, longestWaitMs)));
}

QString AppStore::connectionsText() const
{
    // A limit of 0 is how panels write "no limit": "1 of 0" would read as a fault.
    if ((m_playlist && m_playlist->isM3u()) || !m_maxConnections || !m_activeConnections || *m_maxConnections <= 0)
        return {};
    return QStringLiteral("Connections: %1 of %2").arg(*m_activeConnections).arg(*m_maxConnections);
}

QString AppStore::expiryText() const
{
    // A plain list has no account, so there is nothing to expire and no label to show bare.
    if (m_playlist && m_playlist->isM3u())
        return {};
    const QString label = t(QStringLiteral("your_playlist_expires"),
                            t(QStringLiteral("playlist_expires"), QStringLiteral("Your playlist expires")) + QLatin1Char(':'));
    if (!m_playlistExpTs)
        return label;
    const QString unlimited = label + QLatin1Char(' ') + t(QStringLiteral("Unlimited"), QStringLiteral("Unlimited"));
    const qint64 expiry = *m_playlistExpTs;
    if (expiry == 0)
        return unlimited;
    const QDateTime instant = QDateTime::fromSecsSinceEpoch(expiry);
    // Beyond the range of dates (hundreds of millions of years) only an expiry far ahead is possible.
    if (!instant.isValid())
        return expiry > 0 ? unlimited : label;
    if (instant.date().year() >= 2101)
        return unlimited;
    const double secondsLeft = double(expiry) - double(m_clock().toMSecsSinceEpoch()) / 1000;
    const qint64 daysLeft = std::max<qint64>(0, qint64(std::ceil(secondsLeft / 86400)));
    return label + QLatin1Char(' ') + instant.toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral(" (")
        + QString::number(daysLeft) + QLatin1Char(' ') + t(QStringLiteral("days_left"), QStringLiteral("days left"))
        + QLatin1Char(')');
}

QCoro::Task<> AppStore::refreshDeviceWords()
{
    QPointer<AppStore> self(this);
    auto request = MavuAPI::deviceStatus(m_mac);
    Result<MavuAPI::DeviceStatus> status = co_await request;
    if (!self)
        co_return;
    // An extra: the words already shown stay when the device service does not answer.
    if (status && !status->languages.isEmpty())
        setLanguages(std::move(status).value().languages);
}

QCoro::Task<> AppStore::loadPlaylistExpiry()
{
    if (!m_playlist) {
        setPlaylistExpTs(std::nullopt);
        co_return;
    }
    // A plain list has no account, and no expiry.
    if (m_playlist->isM3u()) {
        setPlaylistExpTs(std::nullopt);
        co_return;
    }
    const Playlist playlist = *m_playlist;
    QPointer<AppStore> self(this);
    auto request = MavuAPI::accountStatus(playlist);
    const Result<MavuAPI::AccountStatus> account = co_await request;
    if (!self)
        co_return;
    // The account of a provider connected meanwhile is not this one.
    if (m_playlist != playlist)
        co_return;
    // The expiry line is an extra, but an account the provider refuses is not.
    if (account) {
        const Batch batch(this);
        setPlaylistExpTs(account->expiresAt);
        setAccountConnections(account->maxConnections, account->activeConnections);
    } else if (account.failure().kind == Failure::Kind::credentialsRefused) {
        credentialsRefused(account.failure());
    } else {
        setPlaylistExpTs(std::nullopt);
    }
}
