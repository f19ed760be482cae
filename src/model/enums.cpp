#include "enums.h"

QString rawValue(Section section)
{
    switch (section) {
    case Section::live:
        return QStringLiteral("Live TV");
    case Section::movies:
        return QStringLiteral("Movies");
    case Section::series:
        return QStringLiteral("TV Shows");
    }
    return {};
}

QString rawValue(VodSort sort)
{
    switch (sort) {
    case VodSort::added:
        return QStringLiteral("Order by Added");
    case VodSort::number:
        return QStringLiteral("Order by Number");
    case VodSort::rating:
        return QStringLiteral("Order by Rating");
    case VodSort::az:
        return QStringLiteral("A-Z");
    case VodSort::za:
        return QStringLiteral("Z-A");
    }
    return {};
}
