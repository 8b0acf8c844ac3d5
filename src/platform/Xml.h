// A thin owner of libxml2 documents: parsing with no network and no external entities, XPath
// selection relative to a node, attributes, text and serialisation, and the parser's first error
// with its position, so that the control can read the host's device node, user data and archives.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"

struct _xmlNode;
struct _xmlDoc;

namespace zd {

// The first error the parser met, as a DOM parse error reports it.
struct XmlParseError {
    int errorCode = 0;
    std::string reason;
    int line = 0;
    int linePos = 0;
    long filePos = -1;  // byte offset into the input, -1 when unknown
    std::string srcText;
    std::string url;

    // "reason (line L, column C)", for message boxes.
    std::string Describe() const;
};

// A node of a document; a plain handle that stays valid while its XmlDocument lives. A default
// handle is null, and every query on a null handle gives an empty result.
class XmlNode {
  public:
    XmlNode() = default;
    explicit XmlNode(_xmlNode* node) : m_node(node) {}

    bool IsNull() const { return m_node == nullptr; }
    explicit operator bool() const { return m_node != nullptr; }

    std::string Name() const;
    // The attribute's text, or nothing when the node has no such attribute.
    std::optional<std::string> Attribute(std::string_view name) const;
    // The concatenated text of the node and its descendants.
    std::string Text() const;
    XmlNode Parent() const;
    // The line of the document the node starts on, 0 when unknown.
    int Line() const;
    std::vector<XmlNode> Children() const;  // element children only

    // XPath 1.0 relative to this node. A bad expression throws ControlError.
    XmlNode SelectSingleNode(std::string_view xpath) const;
    std::vector<XmlNode> SelectNodes(std::string_view xpath) const;

    // The node's whole XML text (UTF-8); for a document node the whole document.
    std::string Xml() const;

    _xmlNode* Raw() const { return m_node; }
    bool operator==(const XmlNode& other) const { return m_node == other.m_node; }

  private:
    _xmlNode* m_node = nullptr;
};

class XmlDocument {
  public:
    XmlDocument();
    ~XmlDocument();
    XmlDocument(XmlDocument&& other) noexcept;
    XmlDocument& operator=(XmlDocument&& other) noexcept;
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // Parses UTF-8 text (its encoding declaration is not followed). False on failure: the
    // document is then empty and ParseError() tells why. A document whose internal subset
    // declares entities is refused.
    bool LoadXml(std::string_view text, const std::string& url = {});
    // Parses a file of the given kind, refused past the kind's size limit; its encoding
    // declaration is followed. A file that cannot be read fails as a parse does.
    bool Load(const std::string& path, const InputKind& kind);

    bool IsLoaded() const { return m_doc != nullptr; }
    const std::optional<XmlParseError>& ParseError() const { return m_error; }

    // The document node: the context for paths such as "Params/UserData".
    XmlNode DocumentNode() const;
    XmlNode DocumentElement() const;
    std::string Xml() const { return DocumentNode().Xml(); }

    // An empty document with a root element, for writers.
    static XmlDocument Create(std::string_view rootName);
    // Appends an element child to parent and returns it; text may be empty.
    static XmlNode AppendElement(XmlNode parent, std::string_view name, std::string_view text = {});
    static void SetAttribute(XmlNode node, std::string_view name, std::string_view value);
    // Writes the document with an XML declaration and indentation, replacing the file only once
    // it is complete (WriteFileAtomically). Throws ControlError.
    void Save(const std::string& path) const;

  private:
    void Reset();

    _xmlDoc* m_doc = nullptr;
    std::optional<XmlParseError> m_error;
};

}  // namespace zd
