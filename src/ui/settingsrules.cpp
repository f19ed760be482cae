#include "settingsrules.h"

#include "store/preferences.h"

#include <QTextBoundaryFinder>

namespace {

// Characters as a reader counts them: an accented letter or an emoji is one.
qsizetype characterCount(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

} // namespace

QStringList SettingsRules::liveSortOptions()
{
    return {QStringLiteral("Default"), QStringLiteral("A-Z"), QStringLiteral("Z-A")};
}

QString SettingsRules::defaultPin()
{
    return Preferences::defaultPin;
}

QString SettingsRules::themeDetail(const QList<Theme> &themes, int index)
{
    if (index < 0 || index >= themes.size())
        return {};
    return themes.at(index).name;
}

QString SettingsRules::themeDetail(const QVariantList &themes, int index)
{
    if (index < 0 || index >= themes.size())
        return {};
    return themes.at(index).value<Theme>().name;
}

QString SettingsRules::liveSortDetail(int index)
{
    const QStringList options = liveSortOptions();
    return options.at(qBound(0, index, int(options.size()) - 1));
}

QString SettingsRules::languageDetail(const QString &code)
{
    return code.toUpper();
}

QString SettingsRules::accountPlaylist(bool hasPlaylist, const QString &host)
{
    return hasPlaylist && !host.isEmpty() ? host : QStringLiteral("—");
}

bool SettingsRules::canSavePin(const QString &current, const QString &pin)
{
    return !current.isEmpty() && !pin.isEmpty();
}

QString SettingsRules::pinSaveError(const QString &current, const QString &stored, const QString &pin,
                                    const QString &confirm)
{
    if (current != stored)
        return QStringLiteral("Current PIN is wrong.");
    if (characterCount(pin) < minimumPinLength)
        return QStringLiteral("PIN must be at least 4 digits.");
    if (pin != confirm)
        return QStringLiteral("PINs don't match.");
    return {};
}

QStringList SettingsRules::withShown(const QStringList &hidden, const QString &id, bool shown)
{
    QStringList result = hidden;
    result.removeAll(id);
    if (!shown)
        result.append(id);
    return result;
}

int SettingsRules::gridColumns(qreal available, qreal minimum, qreal spacing)
{
    if (minimum <= 0 || available <= minimum)
        return 1;
    return qMax(1, int((available + spacing) / (minimum + spacing)));
}
