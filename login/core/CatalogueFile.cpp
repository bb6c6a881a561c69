#include "CatalogueFile.h"

#include "AppPaths.h"

#include <QDomDocument>
#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QXmlStreamWriter>

Q_LOGGING_CATEGORY(lcCatalogueFile, "orvane.catalogue")

namespace CatalogueFile {

QString defaultPath()
{
    return AppPaths::appFilePath(QStringLiteral("DesktopApp.xml"));
}

bool write(const QString &path, const DesktopAppCatalogue &catalogue)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qCWarning(lcCatalogueFile) << "cannot write" << path << file.errorString();
        return false;
    }
    // A stream writer keeps the attributes in the listed order, so the same
    // catalogue always gives the same bytes.
    // The declaration is written by hand: the writer would name the codec
    // by its canonical name, GBK. Its line break comes from the writer.
    file.write("<?xml version=\"1.0\" encoding=\"GB2312\"?>");
    QXmlStreamWriter xml(&file);
    xml.setCodec("GB2312");
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(4);
    xml.writeStartElement(QStringLiteral("root"));
    for (const auto &entry : catalogue) {
        const DesktopAppCategory &c = *entry.first;
        xml.writeStartElement(QStringLiteral("class"));
        xml.writeAttribute(QStringLiteral("id"), c.id);
        xml.writeAttribute(QStringLiteral("name"), c.name);
        xml.writeAttribute(QStringLiteral("icon"), c.icon);
        for (const auto &app : entry.second) {
            const desktopAppInfo &a = *app;
            xml.writeStartElement(QStringLiteral("app"));
            xml.writeAttribute(QStringLiteral("id"), a.id);
            xml.writeAttribute(QStringLiteral("name"), a.name);
            xml.writeAttribute(QStringLiteral("icon"), a.icon);
            xml.writeAttribute(QStringLiteral("cateid"), a.cateid);
            xml.writeAttribute(QStringLiteral("desc"), a.desc);
            xml.writeAttribute(QStringLiteral("execpath"), a.execpath);
            xml.writeAttribute(QStringLiteral("isinstall"), a.isinstall);
            xml.writeAttribute(QStringLiteral("isremove"), a.isremove);
            xml.writeAttribute(QStringLiteral("params"), a.params);
            xml.writeAttribute(QStringLiteral("sort"), a.sort);
            xml.writeAttribute(QStringLiteral("type"), a.type);
            xml.writeAttribute(QStringLiteral("url"), a.url);
            xml.writeAttribute(QStringLiteral("nosign"), a.nosign);
            xml.writeAttribute(QStringLiteral("install"), a.install);
            xml.writeAttribute(QStringLiteral("uninstall"), a.uninstall);
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError() || !file.commit()) {
        qCWarning(lcCatalogueFile) << "cannot write" << path << file.errorString();
        return false;
    }
    return true;
}

bool read(const QString &path, DesktopAppCatalogue *out)
{
    out->clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QDomDocument doc;
    QString error;
    int line = 0;
    if (!doc.setContent(&file, false, &error, &line)) {
        qCWarning(lcCatalogueFile) << path << "line" << line << error;
        return false;
    }
    const QDomElement root = doc.documentElement();
    if (root.tagName() != QLatin1String("root"))
        return false;
    for (QDomElement c = root.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        auto category = DesktopAppCategoryPtr::create();
        category->icon = c.attribute(QStringLiteral("icon"));
        category->id = c.attribute(QStringLiteral("id"));
        category->name = c.attribute(QStringLiteral("name"));
        DesktopAppList apps;
        for (QDomElement e = c.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
            auto a = DesktopAppInfoPtr::create();
            a->cateid = e.attribute(QStringLiteral("cateid"));
            a->desc = e.attribute(QStringLiteral("desc"));
            a->execpath = e.attribute(QStringLiteral("execpath"));
            a->icon = e.attribute(QStringLiteral("icon"));
            a->id = e.attribute(QStringLiteral("id"));
            a->isinstall = e.attribute(QStringLiteral("isinstall"));
            a->isremove = e.attribute(QStringLiteral("isremove"));
            a->name = e.attribute(QStringLiteral("name"));
            a->params = e.attribute(QStringLiteral("params"));
            a->sort = e.attribute(QStringLiteral("sort"));
            a->type = e.attribute(QStringLiteral("type"));
            a->nosign = e.attribute(QStringLiteral("nosign"));
            a->url = e.attribute(QStringLiteral("url"));
            a->install = e.attribute(QStringLiteral("install"));
            a->uninstall = e.attribute(QStringLiteral("uninstall"));
            apps.append(a);
        }
        out->append(qMakePair(category, apps));
    }
    return true;
}

} // namespace CatalogueFile
