#include "store/preferences.h"
#include "support/testsupport.h"

#include <QFile>
#include <QSettings>
#include <QtTest>

class TestPreferences : public QObject
{
    Q_OBJECT

    TestSupport::TempFolder m_folder;
    QString path() const { return m_folder.file(QStringLiteral("nested/mavu.ini")); }

private Q_SLOTS:
    void init() { QFile::remove(path()); }

    void defaultsWhenUnset()
    {
        Preferences preferences(path());
        QCOMPARE(preferences.themeIndex(), 0);
        QCOMPARE(preferences.liveSortIndex(), 0);
        QCOMPARE(preferences.language(), QStringLiteral("en"));
        QCOMPARE(preferences.pin(), QStringLiteral("729304"));
        QVERIFY(preferences.favorites(Section::live).isEmpty());
        QVERIFY(!preferences.deviceMac());
        QVERIFY(!preferences.playlistDictionary());
    }

    void valuesSurviveARestart()
    {
        {
            Preferences preferences(path());
            preferences.setThemeIndex(3);
            preferences.setLiveSortIndex(2);
            preferences.setLanguage(QStringLiteral("de"));
            preferences.setPin(QStringLiteral("0042"));
            preferences.setFavorites(Section::movies, {QStringLiteral("1"), QStringLiteral("2, 3")});
            preferences.setRecents(Section::series, {QStringLiteral("only")});
            preferences.setHidden(Section::live, {});
            preferences.setPlaylistDictionary({{"host", "http://h.test/"}, {"user", "u"}, {"pass", "p=a&ss, x"}});
        }
        Preferences again(path());
        QCOMPARE(again.themeIndex(), 3);
        QCOMPARE(again.liveSortIndex(), 2);
        QCOMPARE(again.language(), QStringLiteral("de"));
        QCOMPARE(again.pin(), QStringLiteral("0042"));
        QCOMPARE(again.favorites(Section::movies), QStringList({"1", "2, 3"}));
        QCOMPARE(again.recents(Section::series), QStringList({"only"}));
        QVERIFY(again.hidden(Section::live).isEmpty());
        QVERIFY(again.favorites(Section::live).isEmpty()); // per section
        QCOMPARE(*again.playlistDictionary(), (QMap<QString, QString>{{"host", "http://h.test/"}, {"user", "u"}, {"pass", "p=a&ss, x"}}));
    }

    void otherKindsReadAsDefaults()
    {
        {
            QSettings raw(path(), QSettings::IniFormat);
            raw.setValue(QString(Preferences::themeKey), QStringLiteral("not a number"));
            raw.setValue(QString(Preferences::pinKey), QStringList{QStringLiteral("a"), QStringLiteral("b")});
            raw.setValue(QString(Preferences::languageKey), 5);
        }
        Preferences preferences(path());
        QCOMPARE(preferences.themeIndex(), 0);
        QCOMPARE(preferences.pin(), QStringLiteral("729304"));
    }

    void keysAreTheDocumentedOnes()
    {
        QCOMPARE(Preferences::favoritesKey(Section::movies), QStringLiteral("mavu.fav.vod"));
        QCOMPARE(Preferences::recentsKey(Section::live), QStringLiteral("mavu.recent.live"));
        QCOMPARE(Preferences::hiddenKey(Section::series), QStringLiteral("mavu.hide.series"));
        {
            Preferences preferences(path());
            preferences.setFavorites(Section::series, {QStringLiteral("x")});
        }
        QSettings raw(path(), QSettings::IniFormat);
        QCOMPARE(raw.value(QStringLiteral("mavu.fav.series")).toStringList(), QStringList({"x"}));
    }

    void fileIsReadableByItsOwnerOnly()
    {
        {
            Preferences preferences(path());
            preferences.setPlaylistDictionary({{"host", "h"}, {"user", "u"}, {"pass", "secret"}});
            preferences.setPin(QStringLiteral("1111"));
        }
        const auto permissions = QFile::permissions(path());
        QVERIFY(permissions & QFile::ReadOwner);
        QCOMPARE(permissions & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther), QFile::Permissions());
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
