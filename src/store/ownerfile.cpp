#include "ownerfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

bool writeOwnerOnlyFile(const QString &path, QByteArrayView bytes)
{
    constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return false;
    // The folder is the account's alone, so even a moment's wider file mode shows nothing.
    QFile::setPermissions(folder, ownerOnly | QFileDevice::ExeOwner);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(ownerOnly);
    if (file.write(bytes.data(), bytes.size()) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
