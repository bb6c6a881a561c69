#pragma once

#include <QString>
#include <QStringList>

class QObject;

// Downloads of the catalogue's icons into the picture cache. Both give one
// local path per address, in the order of the addresses, with forward
// slashes; the paths depend only on the addresses, so both build the same
// catalogue.
namespace IconFetch {

// At most this many pictures are in flight per host: as many connections
// as the network layer opens to one host, so none waits in its queue.
constexpr int kPerHost = 6;

// One picture after the other, each awaited before the next.
QStringList sequential(const QStringList &addresses, const QString &baseDir);

// A few pictures at a time per host. An address that occurs more than
// once is downloaded once. The call waits at most one time-out (timeoutMs,
// or the picture default) in all, however many pictures there are.
// Without an owner each picture is bounded by that time-out too, counted
// from the moment its request goes out, and those still missing when the
// wait ends are given up. With an owner they go on downloading into the
// cache, each within the late time-out, and arrive later (announced by
// PictureLanding; ended when the owner goes). Missing pictures keep their
// paths either way.
QStringList concurrent(const QStringList &addresses, const QString &baseDir,
                       int perHost = kPerHost, int timeoutMs = -1,
                       QObject *owner = nullptr);

} // namespace IconFetch
