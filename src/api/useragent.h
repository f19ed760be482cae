#pragma once

#include <QByteArray>

// What the program calls itself on the network, on API requests and streams alike:
// "MAVU/<version> (Linux)". Providers tell players apart by it; a browser's would be a lie.
namespace UserAgent {
QByteArray text();
}
