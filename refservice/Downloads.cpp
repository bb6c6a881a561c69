#include "refservice/Downloads.h"

#include "refservice/Store.h"
#include "refservice/UpdatePackages.h"

#include <httplib.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr qint64 kBlobLimit = qint64(64) << 30;
constexpr int kStallLimitMs = 60000;
// Padded installers are held in memory while they are served.
constexpr qint64 kInstallerLimit = qint64(256) << 20;
constexpr size_t kInstallerCacheLimit = size_t(512) << 20;

std::string httpDate(const QDateTime &time)
{
    return QLocale::c()
        .toString(time.toUTC(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
        .toStdString();
}

// Each revision of a file was "modified" an hour after the previous one.
std::string lastModified(int revision)
{
    const QDateTime base(QDate(2026, 3, 2), QTime(8, 0), QTimeZone::utc());
    return httpDate(base.addSecs(3600 * qint64(revision)));
}

// The generated files repeat one random-looking block, each copy stamped
// with its block number and the revision, so a byte that lands at a wrong
// offset never matches by chance.
const std::string &blobBlock()
{
    static const std::string block = [] {
        std::string b(kChunk, '\0');
        quint32 x = 0x9e3779b9u;
        for (char &c : b) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            c = char(x & 0xff);
        }
        return b;
    }();
    return block;
}

void blobRead(int revision, qint64 offset, size_t length, std::string &out)
{
    const std::string &block = blobBlock();
    out.resize(length);
    size_t done = 0;
    while (done < length) {
        const qint64 at = offset + qint64(done);
        const quint64 index = quint64(at) / kChunk;
        const size_t inBlock = size_t(quint64(at) % kChunk);
        const size_t n = std::min(length - done, kChunk - inBlock);
        std::memcpy(&out[done], block.data() + inBlock, n);
        // The stamp: the first 16 bytes of each block.
        char stamp[16];
        const quint64 words[2] = {index, quint64(revision) * 0x100000001b3ull + 1};
        std::memcpy(stamp, words, sizeof stamp);
        for (size_t i = inBlock; i < std::min<size_t>(16, inBlock + n); ++i)
            out[done + (i - inBlock)] = stamp[i];
        done += n;
    }
}

bool isDigits(const std::string &s)
{
    return !s.empty() && s.size() <= 18 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

Downloads::Downloads(Store &store, Pause pause)
    : m_store(store)
    , m_pause(std::move(pause))
{
}

Downloads::Range Downloads::parseRange(const std::string &header, qint64 size)
{
    Range range;
    const std::string prefix = "bytes=";
    if (header.compare(0, prefix.size(), prefix) != 0)
        return range;
    const std::string asked = header.substr(prefix.size());
    // Several ranges at once are allowed to be answered whole.
    if (asked.find(',') != std::string::npos)
        return range;
    const size_t dash = asked.find('-');
    if (dash == std::string::npos)
        return range;
    const std::string a = asked.substr(0, dash);
    const std::string b = asked.substr(dash + 1);
    if (a.empty()) {
        if (!isDigits(b))
            return range;
        const qint64 suffix = std::stoll(b);
        if (suffix == 0 || size == 0) {
            range.kind = Range::Unsatisfiable;
            return range;
        }
        range.kind = Range::Satisfiable;
        range.first = std::max<qint64>(0, size - suffix);
        range.last = size - 1;
        return range;
    }
    if (!isDigits(a) || (!b.empty() && !isDigits(b)))
        return range;
    range.first = std::stoll(a);
    range.last = b.empty() ? size - 1 : std::min(std::stoll(b), size - 1);
    if (!b.empty() && std::stoll(b) < range.first)
        return Range(); // invalid: the header is ignored
    range.kind = range.first < size ? Range::Satisfiable : Range::Unsatisfiable;
    return range;
}

std::shared_ptr<const Downloads::Installer> Downloads::installer(const QString &name, int revision, qint64 size)
{
    std::lock_guard<std::mutex> lock(m_cacheMutex);
    const auto key = std::make_tuple(name, revision, size);
    const auto it = m_installers.find(key);
    if (it != m_installers.end())
        return it->second;
    const auto app = m_store.installerApp(name);
    if (!app)
        return nullptr;
    // A real installer for this machine: it puts a small program into the
    // user's own folder, registers it with a desktop entry (which the
    // installed-software lookup reads) and a desktop shortcut, and leaves
    // an uninstaller that takes all of it away again.
    std::string script = QStringLiteral(
                             "#!/bin/sh\n"
                             "# Demo installer of the Orvane reference service: %1\n"
                             "set -e\n"
                             "data=\"${XDG_DATA_HOME:-$HOME/.local/share}\"\n"
                             "dir=\"$data/orvane-demo/%2\"\n"
                             "desktop=$(xdg-user-dir DESKTOP 2>/dev/null || true)\n"
                             "[ -n \"$desktop\" ] || desktop=\"$HOME/Desktop\"\n"
                             "mkdir -p \"$dir\" \"$data/applications\" \"$desktop\"\n"
                             "printf '#!/bin/sh\\necho \"%1\"\\n' >\"$dir/%2\"\n"
                             "chmod 755 \"$dir/%2\"\n"
                             "entry=\"[Desktop Entry]\\nType=Application\\nName=%1\\nPath=$dir\\nExec=$dir/%2\\n"
                             "X-Orvane-Version=1.0\\nX-Orvane-Uninstall=$dir/uninstall.sh\\n\"\n"
                             "printf \"$entry\" >\"$data/applications/orvane-demo-%2.desktop\"\n"
                             "printf \"$entry\" >\"$desktop/%1.desktop\"\n"
                             "cat >\"$dir/uninstall.sh\" <<EOF\n"
                             "#!/bin/sh\n"
                             "rm -f \"$data/applications/orvane-demo-%2.desktop\" \"$desktop/%1.desktop\"\n"
                             "rm -rf \"$dir\"\n"
                             "EOF\n"
                             "chmod 755 \"$dir/uninstall.sh\"\n"
                             "echo \"installed $dir/%2\"\n"
                             "exit 0\n")
                             .arg(app->name, app->program)
                             .toStdString();
    // Padding gives the download a size worth a progress bar. A new
    // revision changes the padding, not the length: only the validators
    // tell the two apart.
    const char fill = revision == 0 ? '-' : char('a' + revision % 26);
    for (int line = 0; line < 4096; ++line)
        script += "# " + std::string(61, fill) + "\n";
    // A larger installer (the installerSize switch): more comment lines
    // after "exit 0", which the shell never reads, up to exactly size bytes.
    if (size > qint64(script.size())) {
        const std::string line = "# " + std::string(61, fill) + "\n";
        script.reserve(size_t(size));
        while (qint64(script.size() + line.size()) <= size)
            script += line;
        const size_t rest = size_t(size) - script.size();
        if (rest >= 2)
            script += "#" + std::string(rest - 2, fill) + "\n";
        else if (rest == 1)
            script += "\n";
    }
    // The tag is worked out once, not for every request of a large file.
    const std::string etag = "\""
        + QCryptographicHash::hash(QByteArray::fromRawData(script.data(), int(script.size())),
                                   QCryptographicHash::Sha1)
              .toHex()
              .left(20)
              .toStdString()
        + "\"";
    auto made = std::make_shared<const Installer>(Installer{std::move(script), etag});
    if (m_installers.size() > 64 || m_cachedBytes + made->text.size() > kInstallerCacheLimit) {
        m_installers.clear();
        m_cachedBytes = 0;
    }
    m_installers.emplace(key, made);
    m_cachedBytes += made->text.size();
    return made;
}

std::optional<Downloads::File> Downloads::find(const QString &name, int revision)
{
    static const QRegularExpression blobRe(QStringLiteral("^blob-([0-9]{1,12})\\.bin$"));
    File file;
    file.lastModified = lastModified(revision);
    const QRegularExpressionMatch m = blobRe.match(name);
    if (m.hasMatch()) {
        file.size = m.captured(1).toLongLong();
        if (file.size <= 0 || file.size > kBlobLimit)
            return std::nullopt;
        file.etag = "\"blob-" + std::to_string(file.size) + "-r" + std::to_string(revision) + "\"";
        file.contentType = "application/octet-stream";
        file.read = [revision](qint64 offset, size_t length, std::string &out) {
            blobRead(revision, offset, length, out);
        };
        return file;
    }
    if (!UpdatePackages::versionOf(name, nullptr).isEmpty())
        return findPackage(name);
    const auto made = installer(name, revision, m_installerSize);
    if (!made)
        return std::nullopt;
    file.size = qint64(made->text.size());
    file.etag = made->etag;
    file.contentType = "application/x-sh";
    file.read = [made](qint64 offset, size_t length, std::string &out) {
        out.assign(made->text, size_t(offset), length);
    };
    return file;
}

std::optional<Downloads::File> Downloads::findPackage(const QString &name)
{
    bool signature = false;
    const QString version = UpdatePackages::versionOf(name, &signature);
    PackageMode mode;
    QString source;
    qint64 rate;
    {
        std::lock_guard<std::mutex> lock(m_packageMutex);
        mode = m_packageMode;
        source = m_packageSource;
        rate = m_packageRate;
    }
    if (!m_packages || (mode == PackageMode::Missing && !signature))
        return std::nullopt;
    QString error;
    const auto package = m_packages->package(version, source, &error);
    if (!package) {
        std::fprintf(stderr, "orvane-service: %s\n", qPrintable(error));
        return std::nullopt;
    }
    const QString path = signature ? package->signature : package->path;
    File file;
    file.size = QFileInfo(path).size();
    // Another package (version, folder, a changed byte) is another file.
    const bool tampered = mode == PackageMode::Tampered && !signature;
    file.etag = "\"" + QFileInfo(package->path).completeBaseName().toStdString() + (tampered ? "-t" : "")
        + (signature ? "-sig" : "") + "\"";
    file.lastModified = httpDate(QFileInfo(path).lastModified());
    file.contentType = signature ? "application/octet-stream" : "application/gzip";
    file.bytesPerSecond = mode == PackageMode::Slow && !signature ? rate : 0;
    // One byte in the middle changed after signing.
    const qint64 changed = tampered ? file.size / 2 : -1;
    file.read = [path, changed](qint64 offset, size_t length, std::string &out) {
        QFile in(path);
        out.assign(length, '\0');
        if (!in.open(QIODevice::ReadOnly) || !in.seek(offset))
            return;
        in.read(&out[0], qint64(length));
        if (changed >= offset && changed < offset + qint64(length))
            out[size_t(changed - offset)] ^= 0x5a;
    };
    return file;
}

bool Downloads::serve(const httplib::Request &req, httplib::Response &res, const QString &path)
{
    static const QRegularExpression downloadRe(QStringLiteral("^/downloads/([A-Za-z0-9_.-]+)$"));
    const QRegularExpressionMatch m = downloadRe.match(path);
    if (!m.hasMatch())
        return false;
    const auto found = find(m.captured(1), m_revision);
    if (!found)
        return false;
    const File file = *found;

    // The library applies a Range header to every answer by itself (and
    // fails on ranges past the end); these answers handle it here.
    const std::string rangeHeader = req.get_header_value("Range");
    const_cast<httplib::Request &>(req).ranges.clear();

    res.set_header("ETag", file.etag);
    res.set_header("Last-Modified", file.lastModified);
    Range range;
    if (!m_ignoreRange) {
        res.set_header("Accept-Ranges", "bytes");
        range = parseRange(rangeHeader, file.size);
        // A range only of the representation the client already has part of.
        if (range.kind != Range::None && req.has_header("If-Range")) {
            const std::string ifRange = req.get_header_value("If-Range");
            if (ifRange != file.etag && ifRange != file.lastModified)
                range = Range();
        }
    }
    if (range.kind == Range::Unsatisfiable) {
        res.status = 416;
        res.set_header("Content-Range", "bytes */" + std::to_string(file.size));
        res.set_content("range not satisfiable\n", "text/plain");
        return true;
    }
    qint64 first = 0;
    qint64 length = file.size;
    if (range.kind == Range::Satisfiable) {
        first = range.first;
        length = range.last - range.first + 1;
        res.status = 206;
        res.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-"
                                            + std::to_string(range.last) + "/" + std::to_string(file.size));
    } else {
        res.status = 200;
    }

    // The misbehaviour switches count bytes of this answer's body.
    const qint64 stallAfter = m_stallAfter;
    const qint64 dropAfter = m_dropAfter;
    const auto read = file.read;
    const qint64 rate = file.bytesPerSecond;
    res.set_content_provider(
        size_t(length), file.contentType,
        [this, read, first, stallAfter, dropAfter, rate](size_t offset, size_t length, httplib::DataSink &sink) {
            qint64 limit = qint64(offset + length);
            if (stallAfter >= 0)
                limit = std::min(limit, stallAfter);
            if (dropAfter >= 0)
                limit = std::min(limit, dropAfter);
            if (qint64(offset) >= limit) {
                if (stallAfter >= 0 && qint64(offset) >= stallAfter)
                    m_pause(kStallLimitMs, [this, stallAfter] { return m_stallAfter.load() == stallAfter; });
                return false; // the connection ends here
            }
            const size_t n = std::min<size_t>(kChunk, size_t(limit - qint64(offset)));
            std::string chunk;
            read(first + qint64(offset), n, chunk);
            if (!sink.write(chunk.data(), chunk.size()))
                return false;
            // A slow network: each chunk takes its share of a second.
            if (rate > 0)
                m_pause(int(qint64(n) * 1000 / rate), {});
            return true;
        });
    return true;
}

std::optional<bool> Downloads::setSwitch(const std::string &name, const QMap<QString, QString> &in)
{
    const auto count = [&](std::atomic<qint64> &target) {
        if (in.value(QStringLiteral("on")) == QLatin1String("0")) {
            target = -1;
            return true;
        }
        bool ok = false;
        const qint64 n = in.value(QStringLiteral("bytes")).toLongLong(&ok);
        if (!ok || n < 0)
            return false;
        target = n;
        return true;
    };
    if (name == "ignoreRange") {
        m_ignoreRange = in.value(QStringLiteral("on")) == QLatin1String("1");
        return true;
    }
    if (name == "stallAfter")
        return count(m_stallAfter);
    if (name == "dropAfter")
        return count(m_dropAfter);
    if (name == "installerSize") {
        bool ok = false;
        const qint64 n = in.value(QStringLiteral("bytes")).toLongLong(&ok);
        if (!ok || n < 0 || n > kInstallerLimit)
            return false;
        m_installerSize = n;
        return true;
    }
    if (name == "updatePackage") {
        static const QStringList modes{QStringLiteral("good"), QStringLiteral("tampered"), QStringLiteral("missing"),
                                       QStringLiteral("slow")};
        const int mode = modes.indexOf(in.value(QStringLiteral("mode"), QStringLiteral("good")));
        bool ok = true;
        const qint64 rate = in.value(QStringLiteral("bytesPerSecond"), QStringLiteral("1048576")).toLongLong(&ok);
        if (mode < 0 || !ok || rate <= 0)
            return false;
        std::lock_guard<std::mutex> lock(m_packageMutex);
        m_packageMode = PackageMode(mode);
        m_packageRate = rate;
        m_packageSource = in.value(QStringLiteral("from"));
        return true;
    }
    if (name == "fileRevision") {
        bool ok = false;
        const int n = in.value(QStringLiteral("n")).toInt(&ok);
        if (!ok || n < 0)
            return false;
        m_revision = n;
        return true;
    }
    return std::nullopt;
}

void Downloads::reset()
{
    m_ignoreRange = false;
    m_stallAfter = -1;
    m_dropAfter = -1;
    m_revision = 0;
    m_installerSize = 0;
    std::lock_guard<std::mutex> lock(m_packageMutex);
    m_packageMode = PackageMode::Good;
    m_packageSource.clear();
    m_packageRate = 0;
}
