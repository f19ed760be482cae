#pragma once

#include <QByteArrayView>
#include <QString>

// Writes a whole file readable by its owner alone, atomically: a reader sees the old file or
// the new one, never a part, and a failed write leaves the old one. The folder is made (and
// kept) the owner's alone too. False when any step fails.
bool writeOwnerOnlyFile(const QString &path, QByteArrayView bytes);
