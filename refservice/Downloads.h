#pragma once

#include <QMap>
#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>

class Store;
class UpdatePackages;

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

// The files under downloads/: the demo installers and generated test files
// of any size ("blob-BYTES.bin"). They are answered the way a careful
// download client expects: ETag and Last-Modified, single byte ranges with
// If-Range, 416 with "bytes */LENGTH". Switches make the transfers
// misbehave on purpose (see README.md).
class Downloads
{
public:
    // Sleeps up to ms, earlier when the service stops or until() turns false.
    using Pause = std::function<void(int ms, const std::function<bool()> &until)>;

    Downloads(Store &store, Pause pause);

    // Where the update packages (downloads/OrvaneDesk-VERSION.tar.gz and
    // its ".sig") come from; without it they are not served.
    void setUpdatePackages(UpdatePackages *packages) { m_packages = packages; }

    // Answers GET (and HEAD) of path; false when it names no such file.
    bool serve(const httplib::Request &req, httplib::Response &res, const QString &path);

    // Sets the switch called name from the admin form; nullopt when the
    // name is none of this part's switches.
    std::optional<bool> setSwitch(const std::string &name, const QMap<QString, QString> &in);
    void reset();

    // A range header in the form "bytes=FIRST-[LAST]" or "bytes=-SUFFIX"
    // applied to a file of size bytes. Exposed for tests without a socket.
    struct Range
    {
        enum Kind { None, Satisfiable, Unsatisfiable } kind = None;
        qint64 first = 0;
        qint64 last = -1;
    };
    static Range parseRange(const std::string &header, qint64 size);

private:
    struct File
    {
        qint64 size = 0;
        std::string etag;         // quoted, strong
        std::string lastModified; // HTTP date
        std::string contentType;
        // Sent no faster than this (0: as fast as it goes).
        qint64 bytesPerSecond = 0;
        // Copies length bytes from offset into out.
        std::function<void(qint64 offset, size_t length, std::string &out)> read;
    };
    std::optional<File> find(const QString &name, int revision);
    std::optional<File> findPackage(const QString &name);
    struct Installer
    {
        std::string text;
        std::string etag;
    };
    // size: the length to pad the installer to (0: its usual padding).
    std::shared_ptr<const Installer> installer(const QString &name, int revision, qint64 size);

    Store &m_store;
    Pause m_pause;

    std::atomic<bool> m_ignoreRange{false};
    std::atomic<qint64> m_stallAfter{-1};
    std::atomic<qint64> m_dropAfter{-1};
    std::atomic<int> m_revision{0};
    std::atomic<qint64> m_installerSize{0};

    // The updatePackage switch.
    enum class PackageMode { Good, Tampered, Missing, Slow };
    UpdatePackages *m_packages = nullptr;
    std::mutex m_packageMutex;
    PackageMode m_packageMode = PackageMode::Good;
    QString m_packageSource;
    qint64 m_packageRate = 0;

    std::mutex m_cacheMutex;
    std::map<std::tuple<QString, int, qint64>, std::shared_ptr<const Installer>> m_installers;
    size_t m_cachedBytes = 0;
};
