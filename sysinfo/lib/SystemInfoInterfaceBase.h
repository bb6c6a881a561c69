#pragma once

#include <QList>
#include <QPrinterInfo>
#include <QSharedPointer>
#include <QString>
#include <QtGlobal>

#include <vector>

#if defined(SYSTEMINFOINTERFACE_BUILD)
#define SYSTEMINFOINTERFACE_EXPORT Q_DECL_EXPORT
#else
#define SYSTEMINFOINTERFACE_EXPORT Q_DECL_IMPORT
#endif

// One network card. Only the hardware address (fourth text) and the IP
// address (fifth text) have a user; the rest is there for completeness.
struct NetworkCardInfo
{
    int index = 0;           // the system's interface index
    QString name;            // e.g. "eth0"
    QString description;     // the system's display name
    QString kind;            // "ethernet", "loopback", "wifi", ...
    QString hardwareAddress; // "00:11:22:33:44:55"
    QString ipAddress;       // first IPv4 address, else first IPv6, else empty
    QString netmask;         // of ipAddress
    QString broadcast;       // of ipAddress, empty for IPv6
};

// One installed program. The name is what callers compare with an
// application's name.
struct InstalledSoftwareInfo
{
    QString name;
    QString version;
    QString installLocation;
    QString origin;           // where the entry came from (file or database)
    QString mainProgram;
    QString uninstallCommand;
};

// The library's user owns the printer records it receives.
using PrinterInfoList = QList<QSharedPointer<QPrinterInfo>>;

// Facts about this computer. Made only by CreateNew() and destroyed only by
// Release(); the order of the virtual operations is part of the library's
// binary interface and must not change.
//
// Each object serves the thread that uses it; several objects may live in
// different threads at once.
class SYSTEMINFOINTERFACE_EXPORT SystemInfoInterfaceBase
{
public:
    static SystemInfoInterfaceBase *CreateNew();

    virtual QString operatingSystemDescription() = 0;
    // Appends one record per card; returns how many were appended.
    virtual int networkCards(std::vector<NetworkCardInfo> *cards) = 0;
    virtual void printers(PrinterInfoList *printers) = 0;
    virtual void Release() = 0;
    // Appends one entry per installed program.
    virtual void installedSoftware(std::vector<InstalledSoftwareInfo> *software) = 0;
    // Reserved; does nothing.
    virtual void furtherQuery() = 0;

protected:
    SystemInfoInterfaceBase() = default;
    SystemInfoInterfaceBase(const SystemInfoInterfaceBase &) = delete;
    SystemInfoInterfaceBase &operator=(const SystemInfoInterfaceBase &) = delete;
    // Not virtual and not public: only Release() destroys, so the slot order
    // above stays the whole virtual table.
    ~SystemInfoInterfaceBase() = default;
};
