#include "failure.h"

QString Failure::text() const
{
    switch (kind) {
    case Kind::unreachable:
        return QStringLiteral("Couldn't reach the server. Check the connection and the address.");
    case Kind::timedOut:
        return QStringLiteral("The server took too long to answer.");
    case Kind::credentialsRefused:
        return QStringLiteral("The provider refused the user name or password.");
    case Kind::serverFailed:
        // Only a real error status is worth naming; a broken-off answer carries a 200.
        if (httpStatus >= 500 && httpStatus <= 599)
            return QStringLiteral("The server ran into a problem (error %1).").arg(httpStatus);
        return QStringLiteral("The server ran into a problem.");
    case Kind::notUnderstood:
        return QStringLiteral("The server's answer couldn't be read.");
    case Kind::tooLarge:
        return QStringLiteral("The server's answer was too large.");
    case Kind::cancelled:
        break;
    }
    return QStringLiteral("Cancelled.");
}

const char *Failure::kindName(Kind kind)
{
    switch (kind) {
    case Kind::unreachable: return "unreachable";
    case Kind::timedOut: return "timedOut";
    case Kind::credentialsRefused: return "credentialsRefused";
    case Kind::serverFailed: return "serverFailed";
    case Kind::notUnderstood: return "notUnderstood";
    case Kind::tooLarge: return "tooLarge";
    case Kind::cancelled: break;
    }
    return "cancelled";
}
