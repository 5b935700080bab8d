#pragma once

#include <QDomDocument>
#include <QDomNode>
#include <QString>

#include <memory>

// A loaded XML document with the few lookups the language support needs.
// Found nodes come back as handles that the caller owns; a null handle means
// "not found". No lookup lets an exception reach its caller.
class XmlDocument : public QDomDocument
{
public:
    using NodeHandle = std::unique_ptr<QDomNode>;

    // Reads and parses a file. A file that cannot be read or parsed leaves
    // the document empty (and says why in the log).
    void loadFile(const QString &path);

    // Replaces `value` with the attribute's value when the node has it;
    // otherwise leaves `value` as it was.
    void getAttributeValue(const QDomNode *node, const QString &name, QString &value) const;
    // The first child (of any kind) with the given non-empty name.
    NodeHandle getChildNode(const QDomNode *node, const QString &name) const;
    // Whether the attribute (empty text when absent) equals `expected`.
    bool attributeEquals(const QDomNode *node, const QString &name, const QString &expected,
                         Qt::CaseSensitivity sensitivity) const;
    // The first element of the tag, anywhere in document order, whose
    // attribute equals the value exactly.
    NodeHandle findElementByAttribute(const QString &tagName, const QString &attributeName,
                                      const QString &attributeValue) const;

    static void releaseNode(NodeHandle &node);
};
