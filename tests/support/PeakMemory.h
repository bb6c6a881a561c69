#pragma once

#include <QFile>
#include <QRegularExpression>
#include <QString>

// The most memory this process held (its resident set) since it was made:
// the kernel's high-water mark is reset at construction, so growth() is
// the peak of what ran in between above what was held before. Linux only;
// available() says whether the kernel let us reset the mark.
class PeakMemory
{
public:
    PeakMemory()
    {
        QFile refs(QStringLiteral("/proc/self/clear_refs"));
        m_available = refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
        m_base = field("VmRSS");
    }

    bool available() const { return m_available && m_base > 0; }
    // Bytes.
    qint64 growth() const { return field("VmHWM") - m_base; }
    static qint64 resident() { return field("VmRSS"); }

    // A field of /proc/self/status in bytes; 0 when missing.
    static qint64 field(const char *name)
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return 0;
        const QString text = QString::fromLatin1(status.readAll());
        const QRegularExpression re(QStringLiteral("^%1:\\s+(\\d+) kB").arg(QLatin1String(name)),
                                    QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = re.match(text);
        return m.hasMatch() ? m.captured(1).toLongLong() * 1024 : 0;
    }

private:
    bool m_available = false;
    qint64 m_base = 0;
};
