#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <deque>

// The messages a push server keeps per user so that a client coming back
// after a drop gets what it missed. Each user's backlog holds at most
// `capacity` messages; the oldest go first.
class PushBacklog
{
public:
    struct Entry
    {
        QString uuid;
        QString text;
    };

    explicit PushBacklog(int capacity = 100);

    int capacity() const { return m_capacity; }
    void append(const QString &user, const QString &uuid, const QString &text);
    int size(const QString &user) const;

    // Id of the user's newest message; empty when there is none.
    QString newestId(const QString &user) const;

    // What a client that last saw lastId has missed, oldest first: the
    // messages after lastId, or the whole backlog when lastId is no longer
    // (or never was) in it, because then the client may have missed any of
    // them. An empty lastId names the start of the backlog: everything.
    QList<Entry> since(const QString &user, const QString &lastId) const;

    void clear() { m_users.clear(); }

private:
    int m_capacity;
    QHash<QString, std::deque<Entry>> m_users;
};
