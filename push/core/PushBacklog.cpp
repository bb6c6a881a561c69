#include "push/core/PushBacklog.h"

#include <algorithm>

PushBacklog::PushBacklog(int capacity)
    : m_capacity(std::max(1, capacity))
{
}

void PushBacklog::append(const QString &user, const QString &uuid, const QString &text)
{
    std::deque<Entry> &entries = m_users[user];
    entries.push_back({uuid, text});
    while (int(entries.size()) > m_capacity)
        entries.pop_front();
}

int PushBacklog::size(const QString &user) const
{
    const auto it = m_users.constFind(user);
    return it == m_users.constEnd() ? 0 : int(it->size());
}

QString PushBacklog::newestId(const QString &user) const
{
    const auto it = m_users.constFind(user);
    return it == m_users.constEnd() || it->empty() ? QString() : it->back().uuid;
}

QList<PushBacklog::Entry> PushBacklog::since(const QString &user, const QString &lastId) const
{
    QList<Entry> out;
    const auto it = m_users.constFind(user);
    if (it == m_users.constEnd())
        return out;
    const std::deque<Entry> &entries = *it;
    auto from = entries.begin();
    if (!lastId.isEmpty()) {
        // The newest occurrence: an id sent twice counts from its last copy.
        const auto found = std::find_if(entries.rbegin(), entries.rend(),
                                        [&](const Entry &e) { return e.uuid == lastId; });
        if (found != entries.rend())
            from = found.base();
    }
    for (auto e = from; e != entries.end(); ++e)
        out.append(*e);
    return out;
}
