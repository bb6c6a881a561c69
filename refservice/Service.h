#pragma once

#include "refservice/Downloads.h"
#include "refservice/Store.h"

#include <QByteArray>
#include <QJsonArray>
#include <QMap>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>

class PushServer;

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

// Every path the reference service answers: the service operations, the
// pictures, pages and installers its answers point to, and the admin paths
// that make it misbehave for tests (see README.md).
class Service
{
public:
    explicit Service(Store &store);

    // The address the answers point to, "http://127.0.0.1:PORT/".
    void setBase(const QString &base) { m_base = base; }
    // The push server the lookup names and the push admin paths reach;
    // it must outlive the service's handlers.
    void setPushServer(PushServer *push) { m_push = push; }
    // Where the update packages come from; it must outlive the handlers.
    void setUpdatePackages(UpdatePackages *packages) { m_downloads.setUpdatePackages(packages); }
    void install(httplib::Server &server);
    // Wakes every delayed answer so that shutdown does not wait for it.
    void stop();
    // Told the peer (address, port) of every request once it has arrived
    // completely, before it is handled.
    void setRequestArrived(std::function<void(const std::string &, int)> arrived)
    {
        m_requestArrived = std::move(arrived);
    }

    // Exposed for tests of the rules without a socket.
    static bool timeCheckValid(const QMap<QString, QString> &query, qint64 now);

private:
    struct Context
    {
        const httplib::Request *req = nullptr;
        const std::string *body = nullptr; // of a POST, read by readBody()
        QMap<QString, QString> query;
        QMap<QString, QString> form;
        Store::User user;
    };
    using Operation = std::function<QJsonObject(Context &)>;
    struct Route
    {
        const char *method;
        bool needsUser;
        Operation run;
    };

    void handle(const httplib::Request &req, const std::string &body, httplib::Response &res);
    void handleOperation(const Route &route, Context &ctx, httplib::Response &res);
    void handleAdmin(const std::string &name, Context &ctx, httplib::Response &res);
    bool handlePicture(const QString &path, httplib::Response &res);
    bool handlePage(const QString &path, httplib::Response &res);
    void record(const httplib::Request &req, const Context &ctx);
    void sendJson(httplib::Response &res, const QJsonObject &object, int status = 200);
    // Sleeps up to ms, returns early on stop() or when until() turns false.
    void pause(int ms, const std::function<bool()> &until = {});

    // Oversized bodies for tests of the client's bounds (the hugeAnswer and
    // hugeImage switches): a body of `bytes` bytes, optionally sent
    // deflate- or gzip-compressed (whatever the client asked for), or one
    // that never ends.
    struct HugeBody
    {
        std::atomic<long long> bytes{0};
        std::atomic<bool> deflate{false};
        std::atomic<bool> gzip{false};
        std::atomic<bool> endless{false};
    };
    bool setHuge(HugeBody &huge, const QMap<QString, QString> &in);
    bool serveHuge(const HugeBody &huge, const std::string &prefix, const std::string &suffix,
                   const char *contentType, httplib::Response &res);
    bool stopping();

    void addRoutes();
    QJsonObject login(Context &ctx);
    QJsonObject loginData(const Store::User &user, const Store::Company &company);

    Store &m_store;
    QString m_base;
    std::function<void(const std::string &, int)> m_requestArrived;
    std::map<std::string, Route> m_routes;

    // Misbehaviour switches.
    std::atomic<int> m_delayMs{0};
    std::atomic<int> m_imageDelayMs{0};
    std::atomic<int> m_httpStatus{0};
    std::atomic<int> m_imageStatus{0};
    std::atomic<bool> m_rawUtf8{false};
    std::atomic<bool> m_drop{false};
    std::atomic<bool> m_imageHang{false};
    std::atomic<int> m_catalogueSize{0};
    // Push lookup: a port to name instead of the push server's (0: none),
    // and the form of its answer (see README.md).
    std::atomic<int> m_pushPortOverride{0};
    std::atomic<int> m_pushLookupForm{0};
    PushServer *m_push = nullptr;
    HugeBody m_hugeAnswer;
    HugeBody m_hugeImage;

    Downloads m_downloads;

    std::mutex m_recordMutex;
    QJsonArray m_record;

    std::mutex m_pictureMutex;
    std::map<QString, QByteArray> m_pictures;

    std::mutex m_stopMutex;
    std::condition_variable m_stopCondition;
    bool m_stopping = false;
};
