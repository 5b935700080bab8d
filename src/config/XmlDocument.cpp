#include "XmlDocument.h"

#include <QDebug>
#include <QDomNamedNodeMap>
#include <QDomNodeList>
#include <QFile>

void XmlDocument::loadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug() << "<XmlDocument::loadFile()> cannot open" << path;
        return;
    }
    QString error;
    int line = 0;
    int column = 0;
    if (!setContent(&file, true, &error, &line, &column)) {
        // Qt keeps what it parsed before the error; a broken file must give
        // nothing at all, so that every lookup finds nothing.
        clear();
        qDebug().noquote() << "<XmlDocument::loadFile()> not well-formed:" << path << "line"
                           << line << "column" << column << error;
    }
}

void XmlDocument::getAttributeValue(const QDomNode *node, const QString &name, QString &value) const
{
    if (!node)
        return;
    try {
        const QDomNamedNodeMap attributes = node->attributes();
        if (attributes.isEmpty())
            return;
        const QDomNode attribute = attributes.namedItem(name);
        if (!attribute.isNull())
            value = attribute.nodeValue();
    } catch (...) {
        qDebug() << "Exception in getAttributeValue";
    }
}

XmlDocument::NodeHandle XmlDocument::getChildNode(const QDomNode *node, const QString &name) const
{
    if (!node)
        return nullptr;
    try {
        for (QDomNode child = node->firstChild(); !child.isNull(); child = child.nextSibling()) {
            const QString childName = child.nodeName();
            if (!childName.isEmpty() && childName == name)
                return std::make_unique<QDomNode>(child);
        }
    } catch (...) {
        qDebug() << "Exception in getChildNode";
    }
    return nullptr;
}

bool XmlDocument::attributeEquals(const QDomNode *node, const QString &name, const QString &expected,
                                  Qt::CaseSensitivity sensitivity) const
{
    QString value;
    getAttributeValue(node, name, value);
    return value.compare(expected, sensitivity) == 0;
}

XmlDocument::NodeHandle XmlDocument::findElementByAttribute(const QString &tagName,
                                                            const QString &attributeName,
                                                            const QString &attributeValue) const
{
    try {
        const QDomNodeList elements = elementsByTagName(tagName);
        for (int i = 0; i < elements.size(); ++i) {
            NodeHandle candidate = std::make_unique<QDomNode>(elements.at(i));
            if (candidate->isNull())
                continue;
            if (attributeEquals(candidate.get(), attributeName, attributeValue, Qt::CaseSensitive))
                return candidate;
            releaseNode(candidate);
        }
    } catch (...) {
    }
    return nullptr;
}

void XmlDocument::releaseNode(NodeHandle &node)
{
    if (node)
        node->clear();
    node.reset();
}
