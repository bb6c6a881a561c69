#include "service/NetworkAccess.h"

#include <QNetworkAccessManager>
#include <QThreadStorage>

namespace {

QNetworkAccessManager *managerOf(QThreadStorage<QNetworkAccessManager *> &managers)
{
    if (!managers.hasLocalData())
        managers.setLocalData(new QNetworkAccessManager);
    return managers.localData();
}

} // namespace

QNetworkAccessManager *threadNetworkManager()
{
    // One manager per thread keeps connections alive across the many
    // requests of a session; managers are not shareable between threads.
    static QThreadStorage<QNetworkAccessManager *> managers;
    return managerOf(managers);
}

QNetworkAccessManager *pictureNetworkManager()
{
    static QThreadStorage<QNetworkAccessManager *> managers;
    return managerOf(managers);
}
