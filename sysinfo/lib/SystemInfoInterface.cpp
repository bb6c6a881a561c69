#include "SystemInfoInterfaceBase.h"

#include "InstalledSoftware.h"
#include "platform/Platform.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QNetworkAddressEntry>
#include <QNetworkInterface>

namespace {

QString interfaceKind(QNetworkInterface::InterfaceType type)
{
    switch (type) {
    case QNetworkInterface::Loopback: return QStringLiteral("loopback");
    case QNetworkInterface::Virtual: return QStringLiteral("virtual");
    case QNetworkInterface::Ethernet: return QStringLiteral("ethernet");
    case QNetworkInterface::Wifi: return QStringLiteral("wifi");
    case QNetworkInterface::Ppp: return QStringLiteral("ppp");
    case QNetworkInterface::CanBus: return QStringLiteral("can");
    case QNetworkInterface::Ieee80216: return QStringLiteral("wimax");
    case QNetworkInterface::Ieee802154: return QStringLiteral("lowpan");
    case QNetworkInterface::SixLoWPAN: return QStringLiteral("6lowpan");
    case QNetworkInterface::Ieee1394: return QStringLiteral("firewire");
    case QNetworkInterface::Fddi: return QStringLiteral("fddi");
    case QNetworkInterface::Slip: return QStringLiteral("slip");
    case QNetworkInterface::Phonet: return QStringLiteral("phonet");
    case QNetworkInterface::Unknown: break;
    }
    return QStringLiteral("unknown");
}

// The address a person would call "the card's IP": IPv4 first.
QNetworkAddressEntry primaryAddress(const QNetworkInterface &card)
{
    const QList<QNetworkAddressEntry> entries = card.addressEntries();
    for (const QNetworkAddressEntry &entry : entries) {
        if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
            return entry;
    }
    return entries.isEmpty() ? QNetworkAddressEntry() : entries.first();
}

class SystemInfoInterface final : public SystemInfoInterfaceBase
{
public:
    QString operatingSystemDescription() override
    {
        return Platform::osPrettyName();
    }

    int networkCards(std::vector<NetworkCardInfo> *cards) override
    {
        if (!cards)
            return 0;
        const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
        for (const QNetworkInterface &card : all) {
            NetworkCardInfo info;
            info.index = card.index();
            info.name = card.name();
            info.description = card.humanReadableName();
            info.kind = interfaceKind(card.type());
            info.hardwareAddress = card.hardwareAddress();
            const QNetworkAddressEntry address = primaryAddress(card);
            if (!address.ip().isNull()) {
                info.ipAddress = address.ip().toString();
                info.netmask = address.netmask().toString();
                if (!address.broadcast().isNull())
                    info.broadcast = address.broadcast().toString();
            }
            cards->push_back(info);
        }
        return all.size();
    }

    void printers(PrinterInfoList *printers) override
    {
        if (!printers)
            return;
        const QList<QPrinterInfo> all = QPrinterInfo::availablePrinters();
        for (const QPrinterInfo &printer : all)
            printers->append(QSharedPointer<QPrinterInfo>::create(printer));
    }

    void Release() override
    {
        delete this;
    }

    void installedSoftware(std::vector<InstalledSoftwareInfo> *software) override
    {
        if (software)
            listInstalledSoftware(software);
    }

    void furtherQuery() override {}
};

} // namespace

SystemInfoInterfaceBase *SystemInfoInterfaceBase::CreateNew()
{
    return new SystemInfoInterface;
}
