#pragma once

#include <QList>
#include <QPair>
#include <QString>

// The text arithmetic of a service request, kept free of any network object
// so that every rule can be checked on its own.
namespace RequestText {

using Params = QList<QPair<QString, QString>>;

// p = 3 * (t mod 10000) + 2345
quint32 timeCheckValue(qint64 t);
// "t_=<t>&p_=<p>"
QString timeCheckParams(qint64 t);
// timeCheckParams() for the current time.
QString timeCheckParamsNow();

// Percent-encodes the UTF-8 bytes of a value so that "&", "=", "+", "%",
// blanks and non-ASCII characters arrive as sent through any form decoder.
QString encodeValue(const QString &value);

// "k1=v1&k2=v2", values percent-encoded; keys are fixed ASCII names.
QString formText(const Params &params);

// "&i_=..&d_=..&dv_=..&v_=V..", every value percent-encoded.
QString clientParams(const QString &hardwareAddress, const QString &osFamily,
                     const QString &osDisplayName, const QString &version);

// The operating-system name Windows is reported under, from its version
// record: empty when no row of the table matches.
QString windowsVersionName(quint32 major, quint32 minor, quint32 platformId,
                           quint32 productType, int serverR2);
// The dv_ text: the name, one blank, then the service-pack text.
QString osDisplayName(const QString &name, const QString &servicePack = QString());

// "phone" when the account consists only of the digits 0-9 (an empty
// account counts as digits), "username" otherwise.
QString accountKey(const QString &account);

// Lower-case hexadecimal MD5 of the UTF-8 bytes.
QString md5Hex(const QString &text);

// Sign-in body: "<key>=<account>&pwd=<md5>".
QString loginBody(const QString &account, const QString &password);

// URL forms. base ends with the separator before the path; path ends with
// "json?". identity is clientParams(); timeCheck is timeCheckParams().
QString plainUrl(const QString &base, const QString &path, const QString &timeCheck,
                 const QString &identity);
QString userUrl(const QString &base, const QString &path, const QString &timeCheck,
                const QString &identity, const QString &uid, const QString &token,
                const Params &extra = Params());
QString updateUrl(const QString &base, const QString &path, const QString &timeCheck,
                  const QString &identity, int regionId);
QString loginUrl(const QString &base, const QString &timeCheck, const QString &identity);

} // namespace RequestText
