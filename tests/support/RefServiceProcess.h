#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// Runs the reference service (ORVANE_BIN_DIR/orvane-service) on a free
// loopback port for one test and stops it again in the destructor.
//
// The admin switches make the running service misbehave on purpose; see
// refservice/README.md. Each returns false when the service did not
// confirm the change.
class RefServiceProcess
{
public:
    // dataDir empty: a fresh temporary folder, removed afterwards.
    explicit RefServiceProcess(const QString &dataDir = QString());
    ~RefServiceProcess();

    RefServiceProcess(const RefServiceProcess &) = delete;
    RefServiceProcess &operator=(const RefServiceProcess &) = delete;

    bool isRunning() const { return !m_baseUrl.isEmpty(); }
    // "http://127.0.0.1:PORT/"
    QString baseUrl() const { return m_baseUrl; }
    QString dataDir() const { return m_dataDir; }
    // Why the start failed, for QVERIFY2.
    QString errorText() const { return m_error; }

    // Answer service operations only after ms milliseconds (0: at once).
    bool setDelay(int ms);
    // Answer pictures only after ms milliseconds each.
    bool setImageDelay(int ms);
    // Answer service operations with this HTTP status (0: normal).
    bool setHttpStatus(int status);
    // Write non-ASCII characters raw as UTF-8 instead of "\u" escapes.
    bool setRawUtf8(bool on);
    // Announce an answer and close the connection before its body.
    bool setDropConnection(bool on);
    // Answer pictures with this HTTP status and an error page (0: normal).
    bool setImageStatus(int status);
    // Never answer pictures (until the connection is closed by the client).
    bool setImageHang(bool on);
    // Version offered by the update check.
    bool setOfferedVersion(const QString &version, const QString &downloadUrl = QString());
    // Give the demo accounts a catalogue of this many applications, each
    // with an icon address of its own (0: the seeded catalogue).
    bool setCatalogueSize(int apps);
    // How the hugeAnswer and hugeImage switches send their bodies.
    enum class Huge { Plain, Deflated, Gzipped, Endless };
    // Service operations answer with a (valid) JSON object of this many
    // bytes, sent as it is, deflate- or gzip-compressed (whatever the
    // client asked for), or never ending (0: normal).
    bool setHugeAnswer(qint64 bytes, Huge how = Huge::Plain);
    // Pictures come with this many bytes, likewise.
    bool setHugeImage(qint64 bytes, Huge how = Huge::Plain);
    // Downloads (downloads/NAME): answer every request with the whole file
    // (status 200), whatever Range asks for.
    bool setIgnoreRange(bool on);
    // Downloads: send bytes bytes of each answer's body, then nothing more
    // (the connection stays open) until the switch changes; -1: off.
    bool setStallAfter(qint64 bytes);
    // Downloads: close the connection after bytes bytes of each answer's
    // body; -1: off.
    bool setDropAfter(qint64 bytes);
    // Downloads: serve revision n of every file (same length, other bytes,
    // other ETag and Last-Modified); 0 is the original.
    bool setFileRevision(int n);
    // Downloads: installers come padded to exactly this many bytes (at
    // most 256 MiB; one that is already longer stays as it is); 0: normal.
    bool setInstallerSize(qint64 bytes);
    // Update packages (downloads/OrvaneDesk-VERSION.tar.gz and ".sig"):
    // mode "good", "tampered" (one byte changed after signing), "missing"
    // (404) or "slow" (bytesPerSecond); made from the folder from (empty:
    // the build's client folder).
    bool setUpdatePackage(const QString &mode, const QString &from = QString(), qint64 bytesPerSecond = 0);
    QString packageUrl(const QString &version) const;

    // Address of an installer the service serves, and of a generated file
    // of any size ("downloads/blob-BYTES.bin").
    QString installerUrl(const QString &name = QStringLiteral("suhui-setup.sh")) const;
    QString blobUrl(qint64 bytes) const;

    // All switches back to normal; the record is cleared too.
    bool reset();

    // Everything the service received since the last clearRecord(), oldest
    // first: {"method", "path", "query": {...}, "body", "form": {...}}.
    QJsonArray received() const;
    // The newest received request whose path equals path (without the base).
    QJsonObject lastReceived(const QString &path) const;
    bool clearRecord();

    // "data" of a read-only admin path ("userApp?uid=..&app_id=..", "user?uid=..", "reports").
    QJsonValue adminData(const QString &pathAndQuery) const;
    // The stored row of an application on a user's list; {} when none.
    QJsonObject userApp(const QString &uid, const QString &appId) const;

    // A sign-in of the demo account: {"uid", "token"} of the answer.
    QPair<QString, QString> demoCredentials(const QString &account = QStringLiteral("demo")) const;

    // Push server (see refservice/README.md, "Push server").
    // Sends a message to a signed-in user through the push server; params
    // as the push admin path takes them ("uid", "kind", fields, "uuid",
    // "message"). The answer's "data" ({"uuid", "delivered", "message"}),
    // {} when the service refused.
    QJsonObject push(const QList<QPair<QString, QString>> &params) const;
    // A notice or an offer with the given payload fields; the message's id,
    // empty when refused. A notice is also stored as the newest notice of
    // the user's company (the message centre lists it first).
    QString pushNotice(const QString &uid, const QString &title, const QString &content,
                       const QString &uuid = QString()) const;
    QString pushOffer(const QString &uid, const QList<QPair<QString, QString>> &fields,
                      const QString &uuid = QString()) const;
    // Cuts every push connection abruptly (the server keeps listening).
    bool dropPushConnections();
    // Stops listening and cuts every connection (false), or listens again
    // on the same port (true); the backlog survives.
    bool setPushServerRunning(bool running);
    // Leaves pings unanswered while on.
    bool setPushMuted(bool on);
    // Form of the push lookup answer: "normal", "numberPort", "notOk", "badCode".
    bool setPushLookup(const QString &form);
    // Port the lookup names instead of the push server's (0: the real one).
    bool setPushPort(int port);
    // User ids of the identified push connections, one per connection.
    QStringList pushIdentifiedUsers() const;

    // Low-level admin call: POST /__admin/<name> with a form body.
    bool admin(const QString &name, const QList<QPair<QString, QString>> &params = {}) const;
    // Plain GET on the service, for tests of the service itself.
    QByteArray get(const QString &pathAndQuery, int *status = nullptr) const;
    QByteArray post(const QString &pathAndQuery, const QByteArray &body,
                    int *status = nullptr) const;

private:
    QByteArray exchange(const QString &method, const QString &pathAndQuery,
                        const QByteArray &body, int *status) const;

    std::unique_ptr<QTemporaryDir> m_tempDir;
    QString m_dataDir;
    QProcess m_process;
    QString m_baseUrl;
    QString m_error;
};
