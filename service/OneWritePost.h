#pragma once

class QByteArray;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// A POST whose request head and body reach the kernel in one write, on a
// connection with Nagle's algorithm off, kept alive for the next POST of the
// same thread to the same origin.
//
// Why not manager->post(): Qt 5.15 writes the head of a POST to its
// (unbuffered) socket as soon as it is formed and only then asks the calling
// thread for the body (QNonContiguousByteDeviceThreadForwardImpl). The body
// thus leaves as a second small segment, which Nagle's algorithm holds back
// until the head is acknowledged; a server that waits for the whole request
// acknowledges it only when its delayed-ACK timer runs out (40 ms on Linux).
// Qt 5 has no public setting for either side (its LowDelayOption line is
// commented out in QHttpNetworkConnectionChannel::_q_connected).
//
// The reply answers what SrvInterface reads, as the manager's own would:
// finished(), isFinished(), abort(), error(), readAll(), the status and
// reason attributes and the raw headers; cookies go through the manager's
// jar. The answer may be framed by Content-Length, chunked or the end of the
// connection; 1xx heads are skipped. The body is sent as given, the answer
// is asked for without content coding. TLS uses request.sslConfiguration()
// (the platform's CAs and peer verification unless changed). A connection
// that a server closed while idle is retried once on a fresh one when no
// byte of the answer came.
//
// Anything else (a scheme other than http/https, a proxy in the way) goes to
// manager->post() unchanged.
QNetworkReply *postInOneWrite(QNetworkAccessManager *manager, const QNetworkRequest &request,
                              const QByteArray &body);
