#pragma once

#include "sysinfo/lib/SystemInfoInterfaceBase.h"

#include <QThread>

#include <memory>
#include <vector>

// Owns one system-information library object for exactly its own lifetime
// and offers the library's queries. Use it from the thread that made it.
// It is a thread class only by inheritance; nothing starts it.
class QGetInfomation : public QThread
{
    Q_OBJECT

public:
    explicit QGetInfomation(QObject *parent = nullptr);
    // Takes over a library object made elsewhere (another implementation
    // of the same interface); it is released with this object.
    explicit QGetInfomation(SystemInfoInterfaceBase *library, QObject *parent = nullptr);
    ~QGetInfomation() override;

    virtual QString operatingSystemDescription();
    virtual int networkCards(std::vector<NetworkCardInfo> *cards);
    virtual void printers(PrinterInfoList *printers);
    virtual void installedSoftware(std::vector<InstalledSoftwareInfo> *software);
    virtual void furtherQuery();

private:
    struct Releaser
    {
        void operator()(SystemInfoInterfaceBase *library) const
        {
            if (library)
                library->Release();
        }
    };
    std::unique_ptr<SystemInfoInterfaceBase, Releaser> m_library;
};
