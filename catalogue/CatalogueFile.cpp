#include "catalogue/CatalogueFile.h"

#include "catalogue/CatalogueLog.h"
#include "core/AppPaths.h"
#include "core/SaveFile.h"

#include <QFile>
#include <QSaveFile>
#include <QTextCodec>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace CatalogueFile {

QString defaultPath()
{
    return AppPaths::appFilePath(QStringLiteral("DesktopApp.xml"));
}

namespace {

bool isXmlChar(uint c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF)
        || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The document as GB2312 bytes. A character the code page lacks (an emoji
// in a name, say) becomes a character reference instead of a "?", so the
// file reads back exactly.
QByteArray toGb2312(const QString &xml)
{
    QTextCodec *codec = QTextCodec::codecForName("GB2312");
    QByteArray out;
    QString run;
    auto flush = [&]() {
        out += codec->fromUnicode(run);
        run.clear();
    };
    for (int i = 0; i < xml.size(); ++i) {
        uint c = xml.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < xml.size() && xml.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(xml.at(i), xml.at(i + 1));
            ++i;
        }
        if (c < 0x80 || (c < 0x10000 && codec->canEncode(QChar(c)))) {
            run += QChar(c);
        } else {
            flush();
            out += "&#x" + QByteArray::number(c, 16) + ';';
        }
    }
    flush();
    return out;
}

// Characters XML cannot hold at all (control characters, a lone half of
// a surrogate pair) become U+FFFD; the writer would stop at them.
QString xmlSafe(const QString &value)
{
    QString safe;
    safe.reserve(value.size());
    for (int i = 0; i < value.size(); ++i) {
        const QChar ch = value.at(i);
        if (ch.isHighSurrogate() && i + 1 < value.size() && value.at(i + 1).isLowSurrogate()) {
            safe += ch;
            safe += value.at(++i);
        } else if (ch.isSurrogate() || !isXmlChar(ch.unicode())) {
            safe += QChar(QChar::ReplacementCharacter);
        } else {
            safe += ch;
        }
    }
    return safe;
}

void writeCatalogue(QXmlStreamWriter &xml, const DesktopAppCatalogue &catalogue)
{
    xml.writeStartElement(QStringLiteral("root"));
    for (const auto &entry : catalogue) {
        const DesktopAppCategory &c = *entry.first;
        xml.writeStartElement(QStringLiteral("class"));
        xml.writeAttribute(QStringLiteral("id"), xmlSafe(c.id));
        xml.writeAttribute(QStringLiteral("name"), xmlSafe(c.name));
        xml.writeAttribute(QStringLiteral("icon"), xmlSafe(c.icon));
        for (const auto &app : entry.second) {
            const desktopAppInfo &a = *app;
            xml.writeStartElement(QStringLiteral("app"));
            xml.writeAttribute(QStringLiteral("id"), xmlSafe(a.id));
            xml.writeAttribute(QStringLiteral("name"), xmlSafe(a.name));
            xml.writeAttribute(QStringLiteral("icon"), xmlSafe(a.icon));
            xml.writeAttribute(QStringLiteral("cateid"), xmlSafe(a.cateid));
            xml.writeAttribute(QStringLiteral("desc"), xmlSafe(a.desc));
            xml.writeAttribute(QStringLiteral("execpath"), xmlSafe(a.execpath));
            xml.writeAttribute(QStringLiteral("isinstall"), xmlSafe(a.isinstall));
            xml.writeAttribute(QStringLiteral("isremove"), xmlSafe(a.isremove));
            xml.writeAttribute(QStringLiteral("params"), xmlSafe(a.params));
            xml.writeAttribute(QStringLiteral("sort"), xmlSafe(a.sort));
            xml.writeAttribute(QStringLiteral("type"), xmlSafe(a.type));
            xml.writeAttribute(QStringLiteral("url"), xmlSafe(a.url));
            xml.writeAttribute(QStringLiteral("nosign"), xmlSafe(a.nosign));
            xml.writeAttribute(QStringLiteral("install"), xmlSafe(a.install));
            xml.writeAttribute(QStringLiteral("uninstall"), xmlSafe(a.uninstall));
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

} // namespace

bool write(const QString &path, const DesktopAppCatalogue &catalogue)
{
    // A stream writer keeps the attributes in the listed order, so the same
    // catalogue always gives the same bytes.
    QString text;
    QXmlStreamWriter xml(&text);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(4);
    writeCatalogue(xml, catalogue);
    xml.writeEndDocument();

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qCWarning(lcCatalogue) << "cannot write" << path << file.errorString();
        return false;
    }
    // Every write is checked: on a full disk the previous cache stays.
    const bool written = SaveFile::write(file, "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n")
        && SaveFile::write(file, toGb2312(text));
    if (!SaveFile::commit(file) || !written) {
        qCWarning(lcCatalogue) << "cannot write" << path << file.errorString();
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
    // A stream reader, not a DOM: it resolves references to characters
    // beyond the 16-bit range, which the writer produces for emoji.
    QXmlStreamReader xml(&file);
    xml.setNamespaceProcessing(false);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("root")) {
        if (xml.hasError())
            qCWarning(lcCatalogue) << path << "line" << xml.lineNumber() << xml.errorString();
        return false;
    }
    DesktopAppCatalogue catalogue;
    while (xml.readNextStartElement()) {
        const QXmlStreamAttributes c = xml.attributes();
        auto category = DesktopAppCategoryPtr::create();
        category->icon = c.value(QLatin1String("icon")).toString();
        category->id = c.value(QLatin1String("id")).toString();
        category->name = c.value(QLatin1String("name")).toString();
        DesktopAppList apps;
        while (xml.readNextStartElement()) {
            const QXmlStreamAttributes e = xml.attributes();
            auto value = [&e](const char *name) { return e.value(QLatin1String(name)).toString(); };
            auto a = DesktopAppInfoPtr::create();
            a->cateid = value("cateid");
            a->desc = value("desc");
            a->execpath = value("execpath");
            a->icon = value("icon");
            a->id = value("id");
            a->isinstall = value("isinstall");
            a->isremove = value("isremove");
            a->name = value("name");
            a->params = value("params");
            a->sort = value("sort");
            a->type = value("type");
            a->nosign = value("nosign");
            a->url = value("url");
            a->install = value("install");
            a->uninstall = value("uninstall");
            apps.append(a);
            xml.skipCurrentElement();
        }
        catalogue.append(qMakePair(category, apps));
    }
    // The rest must be well-formed too.
    while (!xml.atEnd())
        xml.readNext();
    if (xml.hasError()) {
        qCWarning(lcCatalogue) << path << "line" << xml.lineNumber() << xml.errorString();
        return false;
    }
    *out = catalogue;
    return true;
}

} // namespace CatalogueFile
