#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// The catalogue sections and the orderings of movies and TV shows. The raw value of each
// case is also its display title and its identity.
namespace Mavu {
Q_NAMESPACE

// QML reads enumeration keys only when they begin with a capital letter; the capitalised
// keys name the same values for the screens.
enum class Section { live, movies, series, Live = live, Movies = movies, Series = series };
Q_ENUM_NS(Section)

enum class VodSort { added, number, rating, az, za, Added = added, Number = number, Rating = rating, AZ = az, ZA = za };
Q_ENUM_NS(VodSort)

} // namespace Mavu

using Mavu::Section;
using Mavu::VodSort;

QString rawValue(Section section);
QString rawValue(VodSort sort);

template<typename E>
struct RawValueEnum;

template<>
struct RawValueEnum<Section>
{
    static QList<Section> allCases() { return {Section::live, Section::movies, Section::series}; }
};

template<>
struct RawValueEnum<VodSort>
{
    static QList<VodSort> allCases()
    {
        return {VodSort::added, VodSort::number, VodSort::rating, VodSort::az, VodSort::za};
    }
};

// All cases in order (for menus and the home screen).
template<typename E>
QList<E> allCases()
{
    return RawValueEnum<E>::allCases();
}

// The case whose raw value is exactly `raw` (case matters); nothing for any other text.
template<typename E>
std::optional<E> fromRawValue(const QString &raw)
{
    for (E value : allCases<E>()) {
        if (rawValue(value) == raw)
            return value;
    }
    return std::nullopt;
}
