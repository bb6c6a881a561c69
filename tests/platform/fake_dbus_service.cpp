// A stand-in desktop service on the session bus for the platform tests:
//
//     fake_dbus_service RECORD_FILE [--fail] NAME...
//
// Owns every NAME, answers every method call on every object path and
// appends one JSON line per call to RECORD_FILE (path, interface, member,
// arguments as text; an open file as the path it names). With --fail every
// call is answered with an error. A portal SetWallpaperFile call is answered
// like the real portal: a request path, then its Response signal (0).
// Prints "ready" once all names are owned.

#include <QCoreApplication>
#include <QDebug>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

class Recorder : public QDBusVirtualObject
{
public:
    Recorder(const QString &record, bool fail)
        : m_record(record)
        , m_fail(fail)
    {
    }

    QString introspect(const QString &) const override { return QString(); }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.type() != QDBusMessage::MethodCallMessage)
            return false;
        if (qEnvironmentVariableIsSet("FAKE_DBUS_DEBUG"))
            qWarning() << "fake_dbus_service:" << message;
        QJsonArray arguments;
        for (const QVariant &argument : message.arguments()) {
            if (argument.canConvert<QDBusUnixFileDescriptor>()) {
                const auto fd = argument.value<QDBusUnixFileDescriptor>();
                arguments << QFileInfo(QStringLiteral("/proc/self/fd/%1").arg(fd.fileDescriptor())).symLinkTarget();
            } else {
                arguments << argument.toString();
            }
        }
        QFile file(m_record);
        if (file.open(QIODevice::Append)) {
            const QJsonObject line{{QStringLiteral("path"), message.path()},
                                   {QStringLiteral("interface"), message.interface()},
                                   {QStringLiteral("member"), message.member()},
                                   {QStringLiteral("arguments"), arguments}};
            file.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
            // Written before the answer, which the caller reads it after.
            file.close();
        }
        if (m_fail) {
            connection.send(message.createErrorReply(QStringLiteral("org.orvane.Test.Refused"),
                                                     QStringLiteral("refused on purpose")));
            return true;
        }
        if (message.member() == QLatin1String("SetWallpaperFile")) {
            QString sender = message.service().mid(1);
            sender.replace(QLatin1Char('.'), QLatin1Char('_'));
            const auto options = qdbus_cast<QVariantMap>(message.arguments().value(2).value<QDBusArgument>());
            const QString token = options.value(QStringLiteral("handle_token")).toString();
            const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
            connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
            QDBusMessage response = QDBusMessage::createTargetedSignal(
                message.service(), request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
            response << 0u << QVariantMap();
            connection.send(response);
            return true;
        }
        connection.send(message.createReply());
        return true;
    }

private:
    QString m_record;
    bool m_fail;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return 2;
    const QString record = args.takeFirst();
    const bool fail = args.removeAll(QStringLiteral("--fail")) > 0;

    QDBusConnection bus = QDBusConnection::sessionBus();
    Recorder recorder(record, fail);
    if (!bus.registerVirtualObject(QStringLiteral("/"), &recorder, QDBusConnection::SubPath))
        return 1;
    for (const QString &name : args) {
        if (!bus.registerService(name))
            return 1;
    }
    QTextStream(stdout) << "ready" << Qt::endl;
    return app.exec();
}
