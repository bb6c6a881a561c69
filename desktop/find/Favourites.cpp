#include "desktop/find/Favourites.h"

#include "core/AppPaths.h"

#include <QFile>
#include <QFileDevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>

#include <algorithm>

namespace {

QStringList idsOf(const QJsonValue &value)
{
    QStringList ids;
    for (const QJsonValue &v : value.toArray()) {
        if (v.isString() && !v.toString().isEmpty() && !ids.contains(v.toString()))
            ids << v.toString();
    }
    return ids;
}

QJsonObject readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 4 * 1024 * 1024)
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace

QString Favourites::defaultPath()
{
    return AppPaths::appFilePath(QStringLiteral("Favourites.json"));
}

Favourites::Favourites(const QString &path, const QString &uid)
    : m_path(path)
    , m_uid(uid)
{
}

void Favourites::load()
{
    const QJsonObject mine = readAll(m_path).value(m_uid).toObject();
    m_pinned = idsOf(mine.value(QStringLiteral("pinned")));
    m_recent = idsOf(mine.value(QStringLiteral("recent"))).mid(0, kMaxRecent);
}

bool Favourites::save() const
{
    QJsonObject all = readAll(m_path);
    all.insert(m_uid, QJsonObject{{QStringLiteral("pinned"), QJsonArray::fromStringList(m_pinned)},
                                  {QStringLiteral("recent"), QJsonArray::fromStringList(m_recent)}});
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = QJsonDocument(all).toJson();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    // What the user launches is nobody else's business.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return file.commit();
}

bool Favourites::pin(const QString &appId)
{
    if (appId.isEmpty() || m_pinned.contains(appId))
        return true;
    m_pinned.append(appId);
    return save();
}

bool Favourites::unpin(const QString &appId)
{
    if (!m_pinned.removeAll(appId))
        return true;
    return save();
}

bool Favourites::noteLaunched(const QString &appId)
{
    if (appId.isEmpty())
        return true;
    if (!m_recent.isEmpty() && m_recent.first() == appId)
        return true;
    m_recent.removeAll(appId);
    m_recent.prepend(appId);
    while (m_recent.size() > kMaxRecent)
        m_recent.removeLast();
    return save();
}

bool Favourites::keepOnly(const DesktopAppCatalogue &catalogue)
{
    QSet<QString> known;
    for (const auto &entry : catalogue) {
        for (const DesktopAppInfoPtr &app : entry.second) {
            if (app)
                known.insert(app->id);
        }
    }
    const int before = m_pinned.size() + m_recent.size();
    auto gone = [&known](const QString &id) { return !known.contains(id); };
    m_pinned.erase(std::remove_if(m_pinned.begin(), m_pinned.end(), gone), m_pinned.end());
    m_recent.erase(std::remove_if(m_recent.begin(), m_recent.end(), gone), m_recent.end());
    if (m_pinned.size() + m_recent.size() == before)
        return true;
    return save();
}

DesktopAppList Favourites::commonApps(const DesktopAppCatalogue &catalogue) const
{
    DesktopAppList apps;
    auto add = [&](const QString &id) {
        const DesktopAppInfoPtr app = findApp(catalogue, id);
        if (app && !apps.contains(app))
            apps.append(app);
    };
    for (const QString &id : m_pinned)
        add(id);
    for (const QString &id : m_recent)
        add(id);
    return apps;
}
