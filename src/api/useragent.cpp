#include "useragent.h"

namespace UserAgent {

QByteArray text()
{
    return QByteArrayLiteral("MAVU/" MAVU_VERSION " (Linux)");
}

} // namespace UserAgent
