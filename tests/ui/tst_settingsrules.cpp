// The settings pages' rules: the rows' details, saving a new PIN, the hidden set after a
// switch, and the theme grid's columns.
#include "settingsrules.h"

#include <QtTest>

class TestSettingsRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void themeDetail_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("detail");
        QTest::newRow("first") << 2 << 0 << "Theme 0";
        QTest::newRow("last") << 2 << 1 << "Theme 1";
        QTest::newRow("one past the end") << 2 << 2 << "";
        QTest::newRow("negative") << 2 << -1 << "";
        QTest::newRow("no themes") << 0 << 0 << "";
    }

    void themeDetail()
    {
        QFETCH(int, count);
        QFETCH(int, index);
        QFETCH(QString, detail);
        QList<Theme> themes;
        QVariantList values;
        for (int i = 0; i < count; ++i) {
            themes.append(Theme{QStringLiteral("Theme %1").arg(i), QString()});
            values.append(QVariant::fromValue(themes.last()));
        }
        QCOMPARE(SettingsRules::themeDetail(themes, index), detail);
        QCOMPARE(SettingsRules::themeDetail(values, index), detail); // as QML hands them over
    }

    void liveSortDetail_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("detail");
        QTest::newRow("provider's order") << 0 << "Default";
        QTest::newRow("ascending") << 1 << "A-Z";
        QTest::newRow("descending") << 2 << "Z-A";
        QTest::newRow("above the last") << 3 << "Z-A";
        QTest::newRow("far above") << 99 << "Z-A";
        QTest::newRow("negative") << -1 << "Default";
    }

    void liveSortDetail()
    {
        QFETCH(int, index);
        QTEST(SettingsRules::liveSortDetail(index), "detail");
    }

    void shortDetails_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("shown");
        QTest::newRow("language in small letters") << "language" << "de" << "DE";
        QTest::newRow("language with a region") << "language" << "pt-br" << "PT-BR";
        QTest::newRow("no language") << "language" << "" << "";
        QTest::newRow("a playlist's host") << "playlist" << "http://provider.example:8080" << "http://provider.example:8080";
        QTest::newRow("no playlist") << "playlist" << "-" << "—";
        QTest::newRow("a playlist without host") << "playlist" << "" << "—";
    }

    void shortDetails()
    {
        QFETCH(QString, rule);
        QFETCH(QString, input);
        QFETCH(QString, shown);
        if (rule == QLatin1String("language"))
            QCOMPARE(SettingsRules::languageDetail(input), shown);
        else
            QCOMPARE(SettingsRules::accountPlaylist(input != QLatin1String("-"), input == QLatin1String("-") ? QString() : input), shown);
    }

    // The tests run in order and the first failing one answers; the length counts characters
    // as a reader does, not bytes or UTF-16 units.
    void pinSaveError_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("pin");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QString>("error");
        const QString wrong = QStringLiteral("Current PIN is wrong.");
        const QString shortPin = QStringLiteral("PIN must be at least 4 digits.");
        const QString mismatch = QStringLiteral("PINs don't match.");
        QTest::newRow("all good") << "729304" << "1234" << "1234" << "";
        QTest::newRow("wrong current before short and mismatched") << "000000" << "12" << "34" << wrong;
        QTest::newRow("current with a blank") << " 729304" << "1234" << "1234" << wrong;
        QTest::newRow("short before mismatch") << "729304" << "123" << "999" << shortPin;
        QTest::newRow("empty confirmation") << "729304" << "1234" << "" << mismatch;
        QTest::newRow("confirmation differs by case") << "729304" << "abcd" << "ABCD" << mismatch;
        QTest::newRow("letters are fine") << "729304" << "abcd" << "abcd" << "";
        QTest::newRow("no upper limit") << "729304" << QString(64, QLatin1Char('9')) << QString(64, QLatin1Char('9')) << "";
        QTest::newRow("three emoji are three characters") << "729304" << "👍👍👍" << "👍👍👍" << shortPin;
        QTest::newRow("four emoji") << "729304" << "👍👍👍👍" << "👍👍👍👍" << "";
        const QString accented = QStringLiteral("e\u0301"); // one letter, two code points
        QTest::newRow("three accented letters") << "729304" << accented.repeated(3) << accented.repeated(3) << shortPin;
        QTest::newRow("four accented letters") << "729304" << accented.repeated(4) << accented.repeated(4) << "";
    }

    void pinSaveError()
    {
        QFETCH(QString, current);
        QFETCH(QString, pin);
        QFETCH(QString, confirm);
        QTEST(SettingsRules::pinSaveError(current, QStringLiteral("729304"), pin, confirm), "error");
    }

    // Only the current and the new PIN gate the button; the confirmation is checked on saving.
    void canSavePin_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("pin");
        QTest::addColumn<bool>("can");
        QTest::newRow("both") << "1" << "2" << true;
        QTest::newRow("no current") << "" << "1234" << false;
        QTest::newRow("no new") << "729304" << "" << false;
        QTest::newRow("neither") << "" << "" << false;
    }

    void canSavePin()
    {
        QFETCH(QString, current);
        QFETCH(QString, pin);
        QTEST(SettingsRules::canSavePin(current, pin), "can");
    }

    void withShown_data()
    {
        QTest::addColumn<QStringList>("hidden");
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("hide one") << QStringList{"a"} << "b" << false << QStringList{"a", "b"};
        QTest::newRow("hide the first") << QStringList{} << "a" << false << QStringList{"a"};
        QTest::newRow("hide a hidden one") << QStringList{"a", "b"} << "a" << false << QStringList{"b", "a"};
        QTest::newRow("show a hidden one") << QStringList{"a", "b", "c"} << "b" << true << QStringList{"a", "c"};
        QTest::newRow("show a shown one") << QStringList{"a"} << "b" << true << QStringList{"a"};
        QTest::newRow("show one stored twice") << QStringList{"b", "a", "b"} << "b" << true << QStringList{"a"};
        QTest::newRow("ids differ by case") << QStringList{"A"} << "a" << true << QStringList{"A"};
    }

    void withShown()
    {
        QFETCH(QStringList, hidden);
        QFETCH(QString, id);
        QFETCH(bool, shown);
        QTEST(SettingsRules::withShown(hidden, id, shown), "after");
    }

    void gridColumns_data()
    {
        QTest::addColumn<qreal>("available");
        QTest::addColumn<int>("columns");
        QTest::newRow("the sheet's page") << qreal(480) << 2;
        QTest::newRow("two exactly") << qreal(416) << 2;
        QTest::newRow("just short of two") << qreal(415.5) << 1;
        QTest::newRow("narrower than one") << qreal(150) << 1;
        QTest::newRow("nothing") << qreal(0) << 1;
        QTest::newRow("three") << qreal(632) << 3;
    }

    void gridColumns()
    {
        QFETCH(qreal, available);
        QTEST(SettingsRules::gridColumns(available, 200, 16), "columns");
    }
};

QTEST_MAIN(TestSettingsRules)
#include "tst_settingsrules.moc"
