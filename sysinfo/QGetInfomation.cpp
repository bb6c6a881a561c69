#include "sysinfo/QGetInfomation.h"

QGetInfomation::QGetInfomation(QObject *parent)
    : QGetInfomation(SystemInfoInterfaceBase::CreateNew(), parent)
{
}

QGetInfomation::QGetInfomation(SystemInfoInterfaceBase *library, QObject *parent)
    : QThread(parent)
    , m_library(library)
{
}

QGetInfomation::~QGetInfomation() = default;

QString QGetInfomation::operatingSystemDescription()
{
    return m_library ? m_library->operatingSystemDescription() : QString();
}

int QGetInfomation::networkCards(std::vector<NetworkCardInfo> *cards)
{
    return m_library ? m_library->networkCards(cards) : 0;
}

void QGetInfomation::printers(PrinterInfoList *printers)
{
    if (m_library)
        m_library->printers(printers);
}

void QGetInfomation::installedSoftware(std::vector<InstalledSoftwareInfo> *software)
{
    if (m_library)
        m_library->installedSoftware(software);
}

void QGetInfomation::furtherQuery()
{
    if (m_library)
        m_library->furtherQuery();
}
