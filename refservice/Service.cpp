#include "refservice/Service.h"

#include "refservice/Artwork.h"
#include "refservice/JsonText.h"
#include "refservice/PushServer.h"
#include "refservice/UserCenterPage.h"
#include "refservice/StorePages.h"

#include <httplib.h>

#include <QDateTime>
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>

#include <zlib.h>

#include <chrono>
#include <memory>

namespace {

const QString kDefaultVersion = QStringLiteral("1.0.0");
constexpr size_t kRecordBodyLimit = 64 * 1024;
constexpr size_t kBodyLimit = 8 * 1024 * 1024;
constexpr size_t kPictureCacheLimit = 4096;
constexpr size_t kHugePiece = 64 * 1024;

bool isMd5Hex(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^[0-9a-f]{32}$"));
    return re.match(text).hasMatch();
}

bool isDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

// A picture's header may promise any size, and a small file may unpack to
// gigabytes; the size is checked before anything is unpacked.
bool isModestPicture(const QByteArray &data)
{
    constexpr qint64 kPixelLimit = 2048 * 2048;
    QBuffer buffer;
    buffer.setData(data);
    if (!buffer.open(QIODevice::ReadOnly))
        return false;
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > kPixelLimit)
        return false;
    return !reader.read().isNull();
}

QJsonObject refusal(int code, const QString &message)
{
    return JsonText::envelope(code, message);
}

QJsonObject ok(const QJsonValue &data = QJsonObject())
{
    return JsonText::envelope(200, QStringLiteral("ok"), data);
}

QJsonObject codeAnswer(int code)
{
    switch (code) {
    case 200: return ok();
    case 735: return refusal(735, QStringLiteral("application already on the desktop"));
    case 403: return refusal(403, QStringLiteral("not your company"));
    case 404: return refusal(404, QStringLiteral("no such application"));
    default: return refusal(code, QStringLiteral("refused"));
    }
}

// Missing keys make the operation a refusal, never a guess.
bool need(const QMap<QString, QString> &map, std::initializer_list<const char *> keys, QString *missing)
{
    for (const char *k : keys) {
        if (!map.contains(QLatin1String(k))) {
            *missing = QLatin1String(k);
            return false;
        }
    }
    return true;
}

QJsonObject mapToJson(const QMap<QString, QString> &map)
{
    QJsonObject o;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        o.insert(it.key(), it.value());
    return o;
}

std::string htmlPage(const QString &title, const QString &body)
{
    const QString html = QStringLiteral(
        "<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>%1</title>"
        "<style>body{font-family:sans-serif;margin:2em;color:#333}h1{color:#1a73e8}</style>"
        "</head><body><h1>%1</h1>%2</body></html>")
                             .arg(title.toHtmlEscaped(), body);
    return html.toStdString();
}

// Bytes [offset, offset + length) of a body of total bytes: prefix, then
// filler, then suffix.
std::string hugePiece(const std::string &prefix, const std::string &suffix, char filler,
                      unsigned long long total, unsigned long long offset, size_t length)
{
    std::string piece;
    piece.reserve(length);
    const unsigned long long end = std::min<unsigned long long>(total, offset + length);
    for (unsigned long long i = offset; i < end;) {
        if (i < prefix.size()) {
            const size_t n = std::min<unsigned long long>(prefix.size() - i, end - i);
            piece.append(prefix, i, n);
            i += n;
        } else if (i >= total - suffix.size()) {
            const size_t from = i - (total - suffix.size());
            const size_t n = std::min<unsigned long long>(suffix.size() - from, end - i);
            piece.append(suffix, from, n);
            i += n;
        } else {
            const size_t n = std::min<unsigned long long>(total - suffix.size() - i, end - i);
            piece.append(n, filler);
            i += n;
        }
    }
    return piece;
}

} // namespace

Service::Service(Store &store)
    : m_store(store)
    , m_downloads(store, [this](int ms, const std::function<bool()> &until) { pause(ms, until); })
{
    addRoutes();
}

bool Service::timeCheckValid(const QMap<QString, QString> &query, qint64 now)
{
    const QString t = query.value(QStringLiteral("t_"));
    const QString p = query.value(QStringLiteral("p_"));
    if (!isDigits(t) || !isDigits(p) || t.size() > 18 || p.size() > 10)
        return false;
    const qint64 tv = t.toLongLong();
    if (qAbs(tv - now) > 86400)
        return false;
    return p.toULongLong() == JsonText::timeCheckValue(tv);
}

void Service::stop()
{
    std::lock_guard<std::mutex> lock(m_stopMutex);
    m_stopping = true;
    m_stopCondition.notify_all();
}

bool Service::stopping()
{
    std::lock_guard<std::mutex> lock(m_stopMutex);
    return m_stopping;
}

bool Service::setHuge(HugeBody &huge, const QMap<QString, QString> &in)
{
    bool okNumber = false;
    const long long bytes = in.value(QStringLiteral("bytes"), QStringLiteral("0")).toLongLong(&okNumber);
    if (!okNumber || bytes < 0 || bytes > (16LL << 30))
        return false;
    huge.bytes = bytes;
    huge.deflate = in.value(QStringLiteral("deflate")) == QLatin1String("1");
    huge.gzip = in.value(QStringLiteral("gzip")) == QLatin1String("1");
    huge.endless = in.value(QStringLiteral("endless")) == QLatin1String("1");
    return true;
}

bool Service::serveHuge(const HugeBody &huge, const std::string &prefix, const std::string &suffix,
                        const char *contentType, httplib::Response &res)
{
    const bool endless = huge.endless;
    const unsigned long long total = std::max<unsigned long long>(huge.bytes, prefix.size() + suffix.size());
    if (!endless && huge.bytes == 0)
        return false;
    res.status = 200;
    if (endless) {
        // Until the client goes (or the service stops). Paced like a fast
        // network rather than a loopback under load: Qt's chunked-body reader
        // keeps reading while the socket has bytes, so a sender that is always
        // ahead would hold the client's network thread in that loop for good,
        // and no bound or abort could ever reach it.
        res.set_chunked_content_provider(contentType, [this, prefix](size_t offset, httplib::DataSink &sink) {
            if (offset > 0)
                pause(1);
            if (stopping())
                return false;
            std::string piece = offset == 0 ? prefix : std::string();
            piece.append(kHugePiece, 'x');
            return sink.write(piece.data(), piece.size());
        });
        return true;
    }
    const bool gzip = huge.gzip;
    if (!huge.deflate && !gzip) {
        res.set_content_provider(total, contentType,
                                 [prefix, suffix, total](size_t offset, size_t length, httplib::DataSink &sink) {
                                     const std::string piece = hugePiece(prefix, suffix, 'x', total, offset,
                                                                         std::min(length, kHugePiece));
                                     return sink.write(piece.data(), piece.size());
                                 });
        return true;
    }
    // Compressed on the fly: a small transfer that unpacks to the full size.
    struct Deflater
    {
        z_stream stream{};
        unsigned long long offset = 0;
    };
    auto state = std::make_shared<Deflater>();
    // Window bits 15: the zlib format of "deflate"; 31: the gzip format.
    if (deflateInit2(&state->stream, Z_BEST_COMPRESSION, Z_DEFLATED, gzip ? 31 : 15, 9, Z_DEFAULT_STRATEGY)
        != Z_OK)
        return false;
    res.set_header("Content-Encoding", gzip ? "gzip" : "deflate");
    res.set_chunked_content_provider(
        contentType,
        [this, state, prefix, suffix, total](size_t, httplib::DataSink &sink) {
            if (stopping())
                return false;
            std::string in = hugePiece(prefix, suffix, 'x', total, state->offset, 16 * kHugePiece);
            state->offset += in.size();
            const int flush = state->offset >= total ? Z_FINISH : Z_NO_FLUSH;
            z_stream &z = state->stream;
            z.next_in = reinterpret_cast<Bytef *>(in.data());
            z.avail_in = static_cast<uInt>(in.size());
            char out[kHugePiece];
            int status = Z_OK;
            do {
                z.next_out = reinterpret_cast<Bytef *>(out);
                z.avail_out = sizeof out;
                status = deflate(&z, flush);
                const size_t produced = sizeof out - z.avail_out;
                if (produced > 0 && !sink.write(out, produced))
                    return false;
            } while (z.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
            if (flush == Z_FINISH)
                sink.done();
            return true;
        },
        [state](bool) { deflateEnd(&state->stream); });
    return true;
}

void Service::pause(int ms, const std::function<bool()> &until)
{
    std::unique_lock<std::mutex> lock(m_stopMutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!m_stopping && (!until || until())) {
        if (m_stopCondition.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now()
                                                                    + std::chrono::milliseconds(50)))
                == std::cv_status::timeout
            && std::chrono::steady_clock::now() >= deadline)
            break;
    }
}

namespace {

// Answers, then closes the connection: whatever the client still sends
// (the unread rest of a body) must not be taken for further requests.
// The library keeps a connection open after a "Connection: close" it did
// not ask for itself, but it ends one whose answer could not be written
// in full, which a provider that declines to go on after the last byte
// brings about.
void answerAndClose(httplib::Response &res, int status)
{
    res.status = status;
    res.set_header("Connection", "close");
    const std::string text = std::to_string(status) + " request refused\n";
    res.set_content_provider(text.size(), "text/plain",
                             [text](size_t offset, size_t length, httplib::DataSink &sink) {
                                 sink.write(text.data() + offset, std::min(length, text.size() - offset));
                                 return false;
                             });
}

// The library reads a body of unknown length (chunked, or until the
// connection ends) without any limit and refuses form bodies beyond 8 KB,
// so POST bodies are read here, up to kBodyLimit whatever their framing.
bool readBody(const httplib::Request &req, const httplib::ContentReader &reader, std::string *body,
              httplib::Response &res)
{
    bool tooLarge = false;
    size_t multipartBytes = 0;
    const auto keep = [&](const char *data, size_t length) {
        if (length > kBodyLimit - body->size()) {
            tooLarge = true;
            return false;
        }
        body->append(data, length);
        return true;
    };
    bool complete = false;
    if (req.is_multipart_form_data()) {
        // No operation takes parts; they are read only to be answered.
        complete = reader([](const httplib::MultipartFormData &) { return true; },
                          [&](const char *, size_t length) {
                              multipartBytes += length;
                              tooLarge = multipartBytes > kBodyLimit;
                              return !tooLarge;
                          });
    } else {
        complete = reader(keep);
    }
    if (complete)
        return true;
    // The reader has set 413 or 400 itself when the framing was at fault.
    // The rest of the body is still on its way: never parse it as requests.
    answerAndClose(res, tooLarge ? 413 : (res.status >= 400 ? res.status : 400));
    return false;
}

} // namespace

void Service::install(httplib::Server &server)
{
    // Other methods would have their bodies read, unbounded, before any
    // handler could refuse them.
    server.set_pre_routing_handler([](const httplib::Request &req, httplib::Response &res) {
        if (req.method == "GET" || req.method == "HEAD" || req.method == "POST")
            return httplib::Server::HandlerResponse::Unhandled;
        answerAndClose(res, 405);
        return httplib::Server::HandlerResponse::Handled;
    });
    server.Get(".*", [this](const httplib::Request &req, httplib::Response &res) { handle(req, std::string(), res); });
    server.Post(".*", [this](const httplib::Request &req, httplib::Response &res,
                             const httplib::ContentReader &reader) {
        std::string body;
        if (readBody(req, reader, &body, res))
            handle(req, body, res);
    });
    server.set_exception_handler([this](const httplib::Request &, httplib::Response &res, std::exception_ptr) {
        sendJson(res, refusal(500, QStringLiteral("internal error")), 500);
    });
}

void Service::sendJson(httplib::Response &res, const QJsonObject &object, int status)
{
    res.status = status;
    res.set_content(JsonText::serialize(object, m_rawUtf8), "application/json; charset=utf-8");
}

void Service::record(const httplib::Request &req, const Context &ctx)
{
    const std::string &body = *ctx.body;
    QJsonObject entry{
        {QStringLiteral("method"), QString::fromStdString(req.method)},
        {QStringLiteral("path"), QString::fromStdString(req.path).mid(1)},
        {QStringLiteral("target"), QString::fromStdString(req.target)},
        {QStringLiteral("query"), mapToJson(ctx.query)},
        // A long body is kept only in part, as text and as form: the record
        // lives in memory.
        {QStringLiteral("body"), QString::fromUtf8(QByteArray::fromStdString(body.substr(0, kRecordBodyLimit)))},
        {QStringLiteral("form"),
         mapToJson(body.size() <= kRecordBodyLimit ? ctx.form : JsonText::parseForm(body.substr(0, kRecordBodyLimit)))},
        {QStringLiteral("contentType"), QString::fromStdString(req.get_header_value("Content-Type"))},
        // What a continued download asks for.
        {QStringLiteral("range"), QString::fromStdString(req.get_header_value("Range"))},
        {QStringLiteral("ifRange"), QString::fromStdString(req.get_header_value("If-Range"))},
        {QStringLiteral("acceptEncoding"), QString::fromStdString(req.get_header_value("Accept-Encoding"))},
    };
    std::lock_guard<std::mutex> lock(m_recordMutex);
    if (m_record.size() >= 5000)
        m_record.removeFirst();
    m_record.append(entry);
}

void Service::handle(const httplib::Request &req, const std::string &body, httplib::Response &res)
{
    if (m_requestArrived)
        m_requestArrived(req.remote_addr, req.remote_port);
    Context ctx;
    ctx.req = &req;
    ctx.body = &body;
    ctx.query = JsonText::parseForm(JsonText::queryOf(req.target));
    if (req.method == "POST")
        ctx.form = JsonText::parseForm(body);
    const std::string &path = req.path;

    static const std::string admin = "/__admin/";
    if (path.compare(0, admin.size(), admin) == 0) {
        handleAdmin(path.substr(admin.size()), ctx, res);
        return;
    }
    record(req, ctx);

    const auto route = m_routes.find(path.substr(1));
    if (route != m_routes.end()) {
        handleOperation(route->second, ctx, res);
        return;
    }
    const QString qpath = QString::fromStdString(path);
    if (req.method == "GET"
        && (StorePages::handle(m_store, m_base, qpath, ctx.query, res) || handlePicture(qpath, res)
            || m_downloads.serve(req, res, qpath) || handlePage(qpath, res)))
        return;
    res.status = 404;
    res.set_content(htmlPage(QStringLiteral("找不到页面"), QStringLiteral("<p>No such page.</p>")),
                    "text/html; charset=utf-8");
}

void Service::handleOperation(const Route &route, Context &ctx, httplib::Response &res)
{
    if (const int delay = m_delayMs)
        pause(delay);

    QJsonObject answer;
    if (ctx.req->method != route.method) {
        answer = refusal(405, QStringLiteral("method not allowed"));
    } else if (!timeCheckValid(ctx.query, QDateTime::currentSecsSinceEpoch())) {
        answer = refusal(403, QStringLiteral("time check failed"));
    } else if (route.needsUser) {
        const auto user = m_store.userByUid(ctx.query.value(QStringLiteral("uid")));
        const QString token = ctx.query.value(QStringLiteral("token"));
        if (!user || token.isEmpty() || user->token != token)
            answer = refusal(401, QStringLiteral("invalid uid or token"));
        else {
            ctx.user = *user;
            answer = route.run(ctx);
        }
    } else {
        answer = route.run(ctx);
    }

    if (serveHuge(m_hugeAnswer, "{\"code\":200,\"message\":\"ok\",\"data\":{\"pad\":\"", "\"}}",
                  "application/json; charset=utf-8", res))
        return;
    if (m_drop) {
        // Announce the answer, then close the connection before its body.
        const std::string body = JsonText::serialize(answer, m_rawUtf8);
        res.set_content_provider(body.size(), "application/json",
                                 [](size_t, size_t, httplib::DataSink &) { return false; });
        return;
    }
    const int status = m_httpStatus;
    sendJson(res, answer, status > 0 ? status : 200);
}

void Service::addRoutes()
{
    auto add = [this](const char *path, const char *method, bool needsUser, Operation op) {
        m_routes.emplace(path, Route{method, needsUser, std::move(op)});
    };
    QString missing;
    auto bad = [](const QString &key) {
        return refusal(400, QStringLiteral("missing parameter %1").arg(key));
    };

    add("NSVUserService/login/json", "POST", false, [this](Context &c) { return login(c); });
    add("NSVUserService/logout/json", "GET", true, [](Context &) { return ok(); });
    add("NSVUserService/forgottenPassword/json", "POST", false, [this, bad](Context &c) {
        QString m;
        if (!need(c.form, {"phone", "auth_code", "new_pwd"}, &m))
            return bad(m);
        if (!isMd5Hex(c.form.value(QStringLiteral("new_pwd"))))
            return refusal(400, QStringLiteral("new_pwd is not a digest"));
        const auto user = m_store.userByPhone(c.form.value(QStringLiteral("phone")));
        if (!user)
            return refusal(900, QStringLiteral("unknown phone"));
        const QString code = m_store.authCode(user->phone);
        if (code.isEmpty() || code != c.form.value(QStringLiteral("auth_code")))
            return refusal(908, QStringLiteral("wrong verification code"));
        m_store.setPassword(user->uid, c.form.value(QStringLiteral("new_pwd")));
        return ok();
    });
    add("NSVUserService/resetPassword/json", "POST", true, [this, bad](Context &c) {
        QString m;
        if (!need(c.form, {"new_pwd", "old_pwd"}, &m))
            return bad(m);
        const QString newPwd = c.form.value(QStringLiteral("new_pwd"));
        if (!isMd5Hex(newPwd) || !isMd5Hex(c.form.value(QStringLiteral("old_pwd"))))
            return refusal(400, QStringLiteral("passwords must be digests"));
        if (c.form.value(QStringLiteral("old_pwd")) != c.user.pwdMd5)
            return refusal(906, QStringLiteral("old password wrong"));
        m_store.setPassword(c.user.uid, newPwd);
        return ok();
    });
    add("NSVAuthService/sendAuthCodeToPhone/json", "POST", false, [this, bad](Context &c) {
        QString m;
        if (!need(c.form, {"phone"}, &m))
            return bad(m);
        const QString phone = c.form.value(QStringLiteral("phone"));
        if (!isDigits(phone))
            return refusal(400, QStringLiteral("phone must be digits"));
        // No text messages here: the code is always the same.
        m_store.setAuthCode(phone, QStringLiteral("123456"));
        return ok();
    });
    add("NSVUserProfileService/changeTrueNameByUID/json", "POST", true, [this, bad](Context &c) {
        QString m;
        if (!need(c.form, {"new_name", "old_name"}, &m))
            return bad(m);
        if (c.form.value(QStringLiteral("old_name")) != c.user.truename)
            return refusal(909, QStringLiteral("old name does not match"));
        m_store.setTrueName(c.user.uid, c.form.value(QStringLiteral("new_name")));
        return ok();
    });
    add("NSVUserProfileService/updateUserAvatarByUID/json", "POST", true, [this, bad](Context &c) {
        QString m;
        if (!need(c.form, {"base64bin"}, &m))
            return bad(m);
        const auto decoded = QByteArray::fromBase64Encoding(
            c.form.value(QStringLiteral("base64bin")).toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || !isModestPicture(*decoded))
            return refusal(400, QStringLiteral("base64bin is not a picture of at most 2048 x 2048"));
        m_store.setAvatar(c.user.uid, *decoded);
        return ok(QJsonObject{{QStringLiteral("avatar"),
                               m_base + QStringLiteral("images/avatar/%1.png").arg(c.user.uid)}});
    });

    add("NSVVerUpdateService/getNewNSVSoftwareToAll/json", "GET", false, [this](Context &c) {
        const QString region = c.query.value(QStringLiteral("region_id"));
        if (!isDigits(region))
            return refusal(400, QStringLiteral("region_id must be an integer"));
        if (region != QLatin1String("1000001"))
            return refusal(404, QStringLiteral("no release for this region"));
        const QString version = m_store.setting(QStringLiteral("version"), kDefaultVersion);
        const QString url = m_store.setting(QStringLiteral("version_url"),
                                            m_base + QStringLiteral("downloads/OrvaneDesk-%1.tar.gz").arg(version));
        return ok(QJsonObject{{QStringLiteral("versionNumber"), version}, {QStringLiteral("downloadUrl"), url}});
    });
    add("NSVCloudDesktopService/getCloudDesktopAppFullInfo/json", "GET", true, [this](Context &c) {
        const int bulk = m_catalogueSize;
        const QJsonArray apps = bulk > 0 ? m_store.bulkCatalogue(c.user, m_base, bulk)
                                         : m_store.desktopCatalogue(c.user, m_base);
        return ok(QJsonObject{{QStringLiteral("app"), apps}});
    });
    add("NSVCloudDesktopService/IsInstallAppInCloudDesktop/json", "GET", true, [this, bad](Context &c) {
        QString m;
        if (!need(c.query, {"app_id"}, &m))
            return bad(m);
        return codeAnswer(m_store.isOnUserList(c.user, c.query.value(QStringLiteral("app_id"))));
    });
    add("NSVCloudDesktopService/addNewAppToCloudDesktop/json", "POST", true, [this, bad](Context &c) {
        QString m;
        if (!need(c.form, {"app_id", "app_name", "compan_id"}, &m))
            return bad(m);
        return codeAnswer(m_store.addApp(c.user, c.form.value(QStringLiteral("app_id")),
                                         c.form.value(QStringLiteral("app_name")),
                                         c.form.value(QStringLiteral("compan_id"))));
    });
    add("NSVCloudDesktopService/deletelAppInCloudDesktop/json", "POST", true, [this, bad](Context &c) {
        QString m;
        if (!need(c.form, {"app_id", "app_name"}, &m))
            return bad(m);
        return codeAnswer(m_store.deleteApp(c.user, c.form.value(QStringLiteral("app_id")),
                                            c.form.value(QStringLiteral("app_name"))));
    });
    add("NSVCloudDesktopService/IsRemoveAppInCloudDesktop/json", "GET", true, [this, bad](Context &c) {
        QString m;
        if (!need(c.query, {"app_id", "is_remove"}, &m))
            return bad(m);
        const QString flag = c.query.value(QStringLiteral("is_remove"));
        if (flag != QLatin1String("0") && flag != QLatin1String("1"))
            return refusal(400, QStringLiteral("is_remove must be 0 or 1"));
        return codeAnswer(m_store.setOnDesktop(c.user, c.query.value(QStringLiteral("app_id")), flag));
    });
    add("NSVCloudDesktopService/UpdateAppInstallSteInCloudDesktop/json", "GET", true, [this, bad](Context &c) {
        QString m;
        if (!need(c.query, {"app_id", "app_name", "mac", "private_exec_path", "private_unload_path"}, &m))
            return bad(m);
        return codeAnswer(m_store.setInstallState(
            c.user, c.query.value(QStringLiteral("app_id")), c.query.value(QStringLiteral("app_name")),
            c.query.value(QStringLiteral("mac")), c.query.value(QStringLiteral("private_exec_path")),
            c.query.value(QStringLiteral("private_unload_path"))));
    });
    add("NSVCloudDesktopService/UpdateAppVerInCloudDesktop/json", "POST", true, [this, bad](Context &c) {
        QString m;
        if (!need(c.form, {"app_id", "app_name", "app_ver"}, &m))
            return bad(m);
        return codeAnswer(m_store.setAppVersion(c.user, c.form.value(QStringLiteral("app_id")),
                                                c.form.value(QStringLiteral("app_name")),
                                                c.form.value(QStringLiteral("app_ver"))));
    });

    add("NSVNoticeService/getSystemNoticeListByUID/json", "GET", true, [this](Context &c) {
        const QString page = c.query.value(QStringLiteral("page"));
        if (!isDigits(page) || page.size() > 6 || page.toInt() < 1)
            return refusal(400, QStringLiteral("page must be a positive integer"));
        int total = 0;
        const QJsonArray items = m_store.notices(c.user, page.toInt(), 10, &total);
        return ok(QJsonObject{{QStringLiteral("item"), items},
                              {QStringLiteral("page"), page.toInt()},
                              {QStringLiteral("total"), total}});
    });
    add("NSVPushSvrService/getPushSvrIPAddressByTime33Hash/json", "GET", true, [this](Context &) {
        const int named = m_pushPortOverride;
        const int port = named > 0 ? named : (m_push ? m_push->port() : 0);
        const QString host = m_push ? m_push->host() : QStringLiteral("127.0.0.1");
        QJsonObject data{{QStringLiteral("internetIP"), host}, {QStringLiteral("port"), QString::number(port)}};
        switch (m_pushLookupForm.load()) {
        case 1: // the port as a JSON number
            data.insert(QStringLiteral("port"), port);
            return ok(data);
        case 2: // code 200 with another message
            return JsonText::envelope(200, QStringLiteral("busy"), data);
        case 3: // another code
            return JsonText::envelope(500, QStringLiteral("ok"), data);
        default:
            return ok(data);
        }
    });
    auto report = [this, bad](const char *kind, bool fromForm, std::initializer_list<const char *> keys) {
        return [this, bad, kind, fromForm, keys = std::vector<const char *>(keys)](Context &c) {
            const QMap<QString, QString> &source = fromForm ? c.form : c.query;
            QJsonObject fields;
            for (const char *k : keys) {
                if (!source.contains(QLatin1String(k)))
                    return bad(QLatin1String(k));
                fields.insert(QLatin1String(k), source.value(QLatin1String(k)));
            }
            m_store.addReport(c.user.uid, QLatin1String(kind), fields);
            return ok();
        };
    };
    add("NSVUserSystemCollectService/reported/json", "POST", true,
        report("system", true, {"mac", "ip", "os", "apps"}));
    add("NSVUserPeripheralCollectService/reported/json", "POST", true,
        report("peripheral", true, {"name", "model", "producer", "remarks"}));
    add("NSVUserActionCollectService/reported/json", "GET", true, report("action", false, {"mac", "app"}));
}

QJsonObject Service::login(Context &c)
{
    const bool byPhone = c.form.contains(QStringLiteral("phone"));
    const bool byName = c.form.contains(QStringLiteral("username"));
    if (byPhone == byName || !c.form.contains(QStringLiteral("pwd")))
        return refusal(400, QStringLiteral("need phone or username, and pwd"));
    const QString pwd = c.form.value(QStringLiteral("pwd"));
    if (!isMd5Hex(pwd))
        return refusal(400, QStringLiteral("pwd is not a digest"));
    const QString key = byPhone ? QStringLiteral("phone") : QStringLiteral("username");
    const auto user = m_store.userByAccount(key, c.form.value(key));
    if (!user || user->pwdMd5 != pwd)
        return refusal(900, QStringLiteral("wrong account or password"));
    if (user->status == QLatin1String("disabled"))
        return refusal(901, QStringLiteral("account disabled by the administrator"));
    if (user->status == QLatin1String("blocked"))
        return refusal(902, QStringLiteral("account frozen"));
    const auto company = user->companyId.isEmpty() ? std::nullopt : m_store.company(user->companyId);
    if (!company)
        return refusal(905, QStringLiteral("no company for this account"));
    if (!company->enabled)
        return refusal(907, QStringLiteral("company disabled"));
    return ok(loginData(*user, *company));
}

QJsonObject Service::loginData(const Store::User &user, const Store::Company &company)
{
    const QString pages = m_base + QStringLiteral("pages/");
    QJsonObject cateList;
    const QJsonArray cats = m_store.categoryLinks(user);
    for (int i = 0; i < cats.size(); ++i) {
        const QJsonObject cat = cats.at(i).toObject();
        cateList.insert(QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0')),
                        QJsonObject{{QStringLiteral("name"), cat.value(QLatin1String("name"))},
                                    {QStringLiteral("url"),
                                     QStringLiteral("?cate_id=") + cat.value(QLatin1String("id")).toString()
                                         + QStringLiteral("&uid=") + user.uid}});
    }
    auto link = [&](const char *page) {
        return QJsonObject{{QStringLiteral("url"), pages + QLatin1String(page) + QStringLiteral("?uid=") + user.uid}};
    };
    return QJsonObject{
        {QStringLiteral("uid"), user.uid},
        {QStringLiteral("token"), user.token},
        {QStringLiteral("username"), user.username},
        {QStringLiteral("truename"), user.truename},
        {QStringLiteral("company_name"), company.name},
        {QStringLiteral("phone"), user.phone},
        {QStringLiteral("address"), user.address},
        {QStringLiteral("tax_number"), user.taxNumber},
        {QStringLiteral("avatar"), m_base + QStringLiteral("images/avatar/%1.png").arg(user.uid)},
        {QStringLiteral("app_auth"), user.appAuth},
        {QStringLiteral("compan_id"), company.id},
        {QStringLiteral("access_itmes"),
         QJsonObject{{QStringLiteral("modify_phone"), link("modify_phone.html")},
                     {QStringLiteral("my_wallet"), link("my_wallet.html")},
                     {QStringLiteral("my_pwd"), link("my_pwd.html")}}},
        {QStringLiteral("user_center"), pages + QStringLiteral("user_center.html?uid=") + user.uid},
        {QStringLiteral("appcatelist"), cateList},
        {QStringLiteral("appStore"),
         QJsonObject{{QStringLiteral("appRenewals"), pages + QStringLiteral("renewals.html")},
                     {QStringLiteral("appStoreSearchBase"), pages + QStringLiteral("appstore.html")},
                     {QStringLiteral("myAppSearchBase"), pages + QStringLiteral("myapps.html")}}},
    };
}

bool Service::handlePicture(const QString &path, httplib::Response &res)
{
    if (!path.startsWith(QLatin1String("/images/")))
        return false;
    static const QRegularExpression appRe(QStringLiteral("^/images/app/([A-Za-z0-9_-]+)/icon\\.png$"));
    static const QRegularExpression catRe(QStringLiteral("^/images/category/([A-Za-z0-9_-]+)/icon\\.png$"));
    static const QRegularExpression bulkRe(QStringLiteral("^/images/bulk/([0-9]{1,6})/icon\\.png$"));
    static const QRegularExpression avatarRe(QStringLiteral("^/images/avatar/([A-Za-z0-9_-]+)\\.png$"));
    static const QRegularExpression miscRe(QStringLiteral("^/images/misc/[A-Za-z0-9_./-]+\\.png$"));

    QByteArray png;
    QRegularExpressionMatch m;
    auto cached = [this, &path](const std::function<QByteArray()> &draw) {
        std::lock_guard<std::mutex> lock(m_pictureMutex);
        auto it = m_pictures.find(path);
        if (it == m_pictures.end() && m_pictures.size() >= kPictureCacheLimit) {
            m_pictures.clear(); // drawing again is cheap; unbounded memory is not
            it = m_pictures.end();
        }
        if (it == m_pictures.end())
            it = m_pictures.emplace(path, draw()).first;
        return it->second;
    };
    if ((m = appRe.match(path)).hasMatch()) {
        const QString symbol = m_store.appSymbol(m.captured(1));
        if (!symbol.isEmpty())
            png = cached([&] { return Artwork::appIconPng(symbol, m.captured(1)); });
    } else if ((m = catRe.match(path)).hasMatch()) {
        const QString symbol = m_store.categorySymbol(m.captured(1));
        if (!symbol.isEmpty())
            png = cached([&] { return Artwork::categoryIconPng(symbol); });
    } else if ((m = bulkRe.match(path)).hasMatch()) {
        png = cached([&] { return Artwork::appIconPng(QString(), QStringLiteral("bulk") + m.captured(1)); });
    } else if ((m = avatarRe.match(path)).hasMatch()) {
        png = m_store.avatar(m.captured(1));
        if (png.isEmpty() && m_store.userByUid(m.captured(1)))
            png = cached([&] { return Artwork::avatarPng(m.captured(1)); });
    } else if (miscRe.match(path).hasMatch()) {
        // Any picture a test may want, each address its own drawing.
        png = cached([&] { return Artwork::appIconPng(QString(), path); });
    }
    if (png.isEmpty())
        return false;

    if (const int delay = m_imageDelayMs)
        pause(delay);
    if (m_imageHang)
        pause(60000, [this] { return m_imageHang.load(); });
    if (const int status = m_imageStatus) {
        res.status = status;
        res.set_content(htmlPage(QStringLiteral("错误"), QStringLiteral("<p>switched status</p>")),
                        "text/html; charset=utf-8");
        return true;
    }
    if (serveHuge(m_hugeImage, png.toStdString(), std::string(), "image/png", res))
        return true;
    res.set_content(png.toStdString(), "image/png");
    return true;
}

bool Service::handlePage(const QString &path, httplib::Response &res)
{
    static const QRegularExpression pageRe(QStringLiteral("^/pages/([a-z_]+)\\.html$"));
    static const QRegularExpression appRe(QStringLiteral("^/apps/([A-Za-z0-9_-]+)/index\\.html$"));
    QRegularExpressionMatch m;
    if ((m = pageRe.match(path)).hasMatch()) {
        if (m.captured(1) == QLatin1String("user_center")) {
            res.set_content(UserCenterPage::html(), "text/html; charset=utf-8");
            return true;
        }
        static const QMap<QString, QString> titles{
            {QStringLiteral("appstore"), QStringLiteral("应用中心")},
            {QStringLiteral("myapps"), QStringLiteral("我的应用")},
            {QStringLiteral("renewals"), QStringLiteral("应用续费")},
            {QStringLiteral("user_center"), QStringLiteral("个人中心")},
            {QStringLiteral("modify_phone"), QStringLiteral("修改手机号")},
            {QStringLiteral("my_wallet"), QStringLiteral("我的钱包")},
            {QStringLiteral("my_pwd"), QStringLiteral("修改密码")},
        };
        if (!titles.contains(m.captured(1)))
            return false;
        res.set_content(htmlPage(titles.value(m.captured(1)),
                                 QStringLiteral("<p>示例服务的页面。</p>")),
                        "text/html; charset=utf-8");
        return true;
    }
    if ((m = appRe.match(path)).hasMatch()) {
        res.set_content(htmlPage(QStringLiteral("网页应用 %1").arg(m.captured(1)),
                                 QStringLiteral("<p>这是示例服务提供的网页应用。</p>")),
                        "text/html; charset=utf-8");
        return true;
    }
    // Installers, test files and update packages: m_downloads.
    return false;
}

void Service::handleAdmin(const std::string &name, Context &ctx, httplib::Response &res)
{
    const QMap<QString, QString> &in = ctx.req->method == "POST" ? ctx.form : ctx.query;
    auto number = [&](const char *key, int *out) {
        bool okNumber = false;
        *out = in.value(QLatin1String(key)).toInt(&okNumber);
        return okNumber && *out >= 0;
    };
    auto flag = [&](const char *key) { return in.value(QLatin1String(key)) == QLatin1String("1"); };
    int n = 0;
    auto answer = [&](bool done) {
        // Admin answers always go out as written, whatever the switches say.
        res.status = 200;
        res.set_content(JsonText::serialize(done ? ok() : refusal(400, QStringLiteral("bad admin request")), false),
                        "application/json");
    };

    if (name == "record") {
        std::lock_guard<std::mutex> lock(m_recordMutex);
        res.set_content(JsonText::serialize(ok(m_record), false), "application/json");
        return;
    }
    if (name == "reports") {
        res.set_content(JsonText::serialize(ok(m_store.reports()), false), "application/json");
        return;
    }
    if (name == "userApp") {
        const auto user = m_store.userByUid(in.value(QStringLiteral("uid")));
        const QJsonObject row = user ? m_store.userApp(*user, in.value(QStringLiteral("app_id"))) : QJsonObject();
        res.set_content(JsonText::serialize(ok(row), false), "application/json");
        return;
    }
    if (name == "user") {
        const auto user = m_store.userByUid(in.value(QStringLiteral("uid")));
        QJsonObject o;
        if (user)
            o = QJsonObject{{QStringLiteral("truename"), user->truename},
                            {QStringLiteral("pwd_md5"), user->pwdMd5},
                            {QStringLiteral("has_avatar"), user->hasAvatar}};
        res.set_content(JsonText::serialize(ok(o), false), "application/json");
        return;
    }
    if (QJsonObject pushAnswer;
        m_push && m_push->admin(name, ctx.req->method == "POST", in, m_base, &pushAnswer)) {
        res.status = 200;
        res.set_content(JsonText::serialize(pushAnswer, false), "application/json");
        return;
    }
    if (ctx.req->method != "POST") {
        answer(false);
        return;
    }
    if (name == "delay") {
        const bool done = number("ms", &n);
        if (done)
            m_delayMs = n;
        answer(done);
    } else if (name == "imageDelay") {
        const bool done = number("ms", &n);
        if (done)
            m_imageDelayMs = n;
        answer(done);
    } else if (name == "status") {
        const bool done = number("code", &n) && (n == 0 || (n >= 100 && n <= 599));
        if (done)
            m_httpStatus = n;
        answer(done);
    } else if (name == "imageStatus") {
        const bool done = number("code", &n) && (n == 0 || (n >= 100 && n <= 599));
        if (done)
            m_imageStatus = n;
        answer(done);
    } else if (name == "rawUtf8") {
        m_rawUtf8 = flag("on");
        answer(true);
    } else if (name == "drop") {
        m_drop = flag("on");
        answer(true);
    } else if (name == "imageHang") {
        m_imageHang = flag("on");
        answer(true);
    } else if (name == "version") {
        const QString version = in.value(QStringLiteral("number"));
        if (version.isEmpty()) {
            answer(false);
            return;
        }
        m_store.setSetting(QStringLiteral("version"), version);
        m_store.setSetting(QStringLiteral("version_url"),
                           in.value(QStringLiteral("url"),
                                    m_base + QStringLiteral("downloads/OrvaneDesk-%1.tar.gz").arg(version)));
        answer(true);
    } else if (name == "catalogue") {
        const bool done = number("apps", &n) && n <= 100000;
        if (done)
            m_catalogueSize = n;
        answer(done);
    } else if (name == "hugeAnswer") {
        answer(setHuge(m_hugeAnswer, in));
    } else if (name == "hugeImage") {
        answer(setHuge(m_hugeImage, in));
    } else if (name == "pushPort") {
        const bool done = number("port", &n) && n <= 65535;
        if (done)
            m_pushPortOverride = n;
        answer(done);
    } else if (name == "pushLookup") {
        static const QStringList forms{QStringLiteral("normal"), QStringLiteral("numberPort"),
                                       QStringLiteral("notOk"), QStringLiteral("badCode")};
        const int form = forms.indexOf(in.value(QStringLiteral("form")));
        if (form >= 0)
            m_pushLookupForm = form;
        answer(form >= 0);
    } else if (const auto done = m_downloads.setSwitch(name, in)) {
        answer(*done);
    } else if (name == "reset" || name == "clearRecord") {
        if (name == "reset") {
            m_downloads.reset();
            m_delayMs = 0;
            m_imageDelayMs = 0;
            m_httpStatus = 0;
            m_imageStatus = 0;
            m_rawUtf8 = false;
            m_drop = false;
            m_imageHang = false;
            m_catalogueSize = 0;
            m_pushPortOverride = 0;
            m_pushLookupForm = 0;
            if (m_push)
                m_push->reset();
            m_hugeAnswer.bytes = 0;
            m_hugeAnswer.endless = false;
            m_hugeImage.bytes = 0;
            m_hugeImage.endless = false;
            m_store.setSetting(QStringLiteral("version"), kDefaultVersion);
            m_store.setSetting(QStringLiteral("version_url"),
                               m_base + QStringLiteral("downloads/OrvaneDesk-%1.tar.gz").arg(kDefaultVersion));
        }
        std::lock_guard<std::mutex> lock(m_recordMutex);
        m_record = QJsonArray();
        answer(true);
    } else {
        answer(false);
    }
}
