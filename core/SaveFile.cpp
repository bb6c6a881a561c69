#include "core/SaveFile.h"

#include "core/CoreLog.h"

#include <QByteArray>
#include <QSaveFile>

namespace SaveFile {

bool write(QSaveFile &file, const QByteArray &data)
{
    if (file.write(data) == data.size() && file.error() == QFileDevice::NoError)
        return true;
    qCWarning(lcCore) << "cannot write" << file.fileName() << file.errorString();
    file.cancelWriting();
    return false;
}

bool commit(QSaveFile &file)
{
    if (!file.isOpen())
        return false;
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        qCWarning(lcCore) << "cannot write" << file.fileName() << file.errorString();
        file.cancelWriting();
        file.commit(); // removes the temporary file; reports the cancel
        return false;
    }
    return file.commit();
}

} // namespace SaveFile
