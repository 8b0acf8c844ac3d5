#include "platform/Xml.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xpath.h>

#include <limits>

#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/Utf8.h"

namespace zd {

namespace {

// libxml2 made the error argument of the structured handler const in 2.12; the rest of the
// program never sees either form.
#if LIBXML_VERSION >= 21200
using ErrorArg = const xmlError*;
#else
using ErrorArg = xmlError*;
#endif

// No network, and neither the external subset nor entity substitution: a document can name
// external entities, but nothing outside the text is ever read.
constexpr int kParseOptions = XML_PARSE_NONET;

std::string Trimmed(const char* text) {
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

std::string LineOf(std::string_view text, int line) {
    if (line <= 0) return {};
    std::size_t start = 0;
    for (int l = 1; l < line; ++l) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) return {};
        start = nl + 1;
    }
    std::size_t end = text.find('\n', start);
    std::string result(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (!result.empty() && result.back() == '\r') result.pop_back();
    return result;
}

// Collects the errors libxml2 raises while it is installed; the previous handler of this thread
// comes back when it goes out of scope.
class ErrorCollector {
  public:
    ErrorCollector()
        : m_previous(xmlStructuredError), m_previousContext(xmlStructuredErrorContext) {
        xmlSetStructuredErrorFunc(this, &ErrorCollector::Collect);
    }
    ~ErrorCollector() { xmlSetStructuredErrorFunc(m_previousContext, m_previous); }
    ErrorCollector(const ErrorCollector&) = delete;
    ErrorCollector& operator=(const ErrorCollector&) = delete;

    const std::optional<XmlParseError>& First() const { return m_first; }

  private:
    static void Collect(void* userData, ErrorArg error) {
        auto* self = static_cast<ErrorCollector*>(userData);
        if (!error || self->m_first || error->level == XML_ERR_WARNING) return;
        XmlParseError e;
        e.errorCode = error->code;
        e.reason = Trimmed(error->message);
        e.line = error->line;
        e.linePos = error->int2;
        e.url = error->file ? error->file : "";
        if (error->domain == XML_FROM_PARSER && error->ctxt) {
            e.filePos = xmlByteConsumed(static_cast<xmlParserCtxtPtr>(error->ctxt));
        }
        self->m_first = std::move(e);
    }

    xmlStructuredErrorFunc m_previous;
    void* m_previousContext;
    std::optional<XmlParseError> m_first;
};

struct XPathResult {
    xmlXPathContextPtr context = nullptr;
    xmlXPathObjectPtr object = nullptr;
    ~XPathResult() {
        if (object) xmlXPathFreeObject(object);
        if (context) xmlXPathFreeContext(context);
    }
};

void Evaluate(xmlNodePtr node, std::string_view xpath, XPathResult& result) {
    ErrorCollector errors;
    xmlDocPtr doc = node->type == XML_DOCUMENT_NODE ? reinterpret_cast<xmlDocPtr>(node) : node->doc;
    result.context = xmlXPathNewContext(doc);
    if (!result.context) throw ControlError("Out of memory", kLibraryTitle, 7);
    result.context->node = node;
    std::string expression(xpath);
    result.object = xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expression.c_str()),
                                           result.context);
    if (!result.object) {
        std::string reason = errors.First() ? errors.First()->reason : "invalid expression";
        throw ControlError("XPath: " + reason + ": " + expression, kLibraryTitle, kErrXmlParse);
    }
}

std::string ToString(xmlChar* text) {
    if (!text) return {};
    std::string s(reinterpret_cast<const char*>(text));
    xmlFree(text);
    return s;
}

}  // namespace

std::string XmlParseError::Describe() const {
    std::string text = reason.empty() ? "XML parse error" : reason;
    if (line > 0) {
        text += " (line " + std::to_string(line);
        if (linePos > 0) text += ", column " + std::to_string(linePos);
        text += ")";
    }
    return text;
}

std::string XmlNode::Name() const {
    if (!m_node || !m_node->name) return {};
    return reinterpret_cast<const char*>(m_node->name);
}

std::optional<std::string> XmlNode::Attribute(std::string_view name) const {
    if (!m_node || m_node->type != XML_ELEMENT_NODE) return std::nullopt;
    std::string n(name);
    xmlAttrPtr attr = xmlHasProp(m_node, reinterpret_cast<const xmlChar*>(n.c_str()));
    if (!attr) return std::nullopt;
    return ToString(xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attr)));
}

std::string XmlNode::Text() const {
    if (!m_node) return {};
    return ToString(xmlNodeGetContent(m_node));
}

int XmlNode::Line() const {
    return m_node ? static_cast<int>(xmlGetLineNo(m_node)) : 0;
}

XmlNode XmlNode::Parent() const {
    if (!m_node || !m_node->parent) return {};
    return XmlNode(m_node->parent);
}

std::vector<XmlNode> XmlNode::Children() const {
    std::vector<XmlNode> children;
    if (!m_node) return children;
    for (xmlNodePtr c = m_node->children; c; c = c->next) {
        if (c->type == XML_ELEMENT_NODE) children.emplace_back(c);
    }
    return children;
}

XmlNode XmlNode::SelectSingleNode(std::string_view xpath) const {
    if (!m_node) return {};
    XPathResult result;
    Evaluate(m_node, xpath, result);
    xmlNodeSetPtr set = result.object->nodesetval;
    if (result.object->type != XPATH_NODESET || !set || set->nodeNr == 0) return {};
    return XmlNode(set->nodeTab[0]);
}

std::vector<XmlNode> XmlNode::SelectNodes(std::string_view xpath) const {
    std::vector<XmlNode> nodes;
    if (!m_node) return nodes;
    XPathResult result;
    Evaluate(m_node, xpath, result);
    xmlNodeSetPtr set = result.object->nodesetval;
    if (result.object->type != XPATH_NODESET || !set) return nodes;
    for (int i = 0; i < set->nodeNr; ++i) nodes.emplace_back(set->nodeTab[i]);
    return nodes;
}

std::string XmlNode::Xml() const {
    if (!m_node) return {};
    if (m_node->type == XML_DOCUMENT_NODE) {
        // The children one after the other, as the document holds them, without a declaration
        // that the text may not have had.
        std::string text;
        for (xmlNodePtr c = m_node->children; c; c = c->next) {
            if (!text.empty()) text += "\r\n";
            text += XmlNode(c).Xml();
        }
        return text;
    }
    xmlBufferPtr buffer = xmlBufferCreate();
    if (!buffer) throw ControlError("Out of memory", kLibraryTitle, 7);
    xmlNodeDump(buffer, m_node->doc, m_node, 0, 0);
    std::string text(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                     static_cast<std::size_t>(xmlBufferLength(buffer)));
    xmlBufferFree(buffer);
    return text;
}

XmlDocument::XmlDocument() = default;

XmlDocument::~XmlDocument() {
    Reset();
}

XmlDocument::XmlDocument(XmlDocument&& other) noexcept
    : m_doc(other.m_doc), m_error(std::move(other.m_error)) {
    other.m_doc = nullptr;
}

XmlDocument& XmlDocument::operator=(XmlDocument&& other) noexcept {
    if (this != &other) {
        Reset();
        m_doc = other.m_doc;
        m_error = std::move(other.m_error);
        other.m_doc = nullptr;
    }
    return *this;
}

void XmlDocument::Reset() {
    if (m_doc) xmlFreeDoc(m_doc);
    m_doc = nullptr;
    m_error.reset();
}

namespace {

// The first entity declaration of the parse running on this thread, if any.
thread_local std::optional<XmlParseError> t_entityDeclaration;

// Entity references are kept in the tree (entities are never substituted), and libxml2 expands
// them anew each time an attribute or a text is read: a small document whose attribute names a
// large entity ten thousand times takes minutes and gigabytes to read. No document this program
// reads needs entities of its own, so the parse stops at the first declaration and the document
// is refused.
void RefuseEntityDeclaration(void* context, const xmlChar* name, int, const xmlChar*,
                             const xmlChar*, xmlChar*) {
    auto* parser = static_cast<xmlParserCtxtPtr>(context);
    if (!t_entityDeclaration) {
        XmlParseError e;
        e.errorCode = XML_ERR_USER_STOP;
        e.reason = "The document declares the entity \"" +
                   std::string(name ? reinterpret_cast<const char*>(name) : "") +
                   "\"; documents that declare entities are not read";
        if (parser->input) {
            e.line = parser->input->line;
            e.linePos = parser->input->col;
        }
        e.filePos = xmlByteConsumed(parser);
        t_entityDeclaration = std::move(e);
    }
    xmlStopParser(parser);
}

xmlDocPtr ParseMemory(std::string_view text, const std::string& url, const char* encoding,
                      std::optional<XmlParseError>& error) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        XmlParseError e;
        e.reason = "The document is larger than the parser takes";
        e.url = ValidUtf8(url);
        error = std::move(e);
        return nullptr;
    }
    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (!context) throw ControlError("Out of memory", kLibraryTitle, 7);
    context->sax->entityDecl = &RefuseEntityDeclaration;
    t_entityDeclaration.reset();
    ErrorCollector errors;
    xmlDocPtr doc = xmlCtxtReadMemory(context, text.data(), static_cast<int>(text.size()),
                                      url.empty() ? nullptr : url.c_str(), encoding, kParseOptions);
    bool wellFormed = context->wellFormed != 0;
    xmlFreeParserCtxt(context);
    std::optional<XmlParseError> refusal = std::move(t_entityDeclaration);
    t_entityDeclaration.reset();
    if (doc && wellFormed && !errors.First() && !refusal) return doc;
    if (doc) xmlFreeDoc(doc);
    XmlParseError e = refusal ? *refusal : errors.First().value_or(XmlParseError{});
    if (e.reason.empty()) e.reason = text.empty() ? "Document is empty" : "XML parse error";
    if (e.url.empty()) e.url = url;
    // The faulty line is quoted as it stands in the file, which need not be UTF-8 (an ISO-8859-1
    // file, or the very byte the parser refused); the box and the logs need valid text.
    e.srcText = ValidUtf8(LineOf(text, e.line));
    e.reason = ValidUtf8(e.reason);
    e.url = ValidUtf8(e.url);
    error = std::move(e);
    return nullptr;
}

}  // namespace

bool XmlDocument::LoadXml(std::string_view text, const std::string& url) {
    Reset();
    m_doc = ParseMemory(text, url, "UTF-8", m_error);
    return m_doc != nullptr;
}

bool XmlDocument::Load(const std::string& path, const InputKind& kind) {
    Reset();
    std::string text;
    try {
        text = ReadInputFile(path, kind);
    } catch (const ControlError& e) {
        XmlParseError error;
        error.reason = e.Description();
        error.url = ValidUtf8(path);
        m_error = std::move(error);
        return false;
    }
    m_doc = ParseMemory(text, path, nullptr, m_error);
    return m_doc != nullptr;
}

XmlNode XmlDocument::DocumentNode() const {
    return XmlNode(reinterpret_cast<xmlNodePtr>(m_doc));
}

XmlNode XmlDocument::DocumentElement() const {
    return XmlNode(m_doc ? xmlDocGetRootElement(m_doc) : nullptr);
}

XmlDocument XmlDocument::Create(std::string_view rootName) {
    XmlDocument document;
    document.m_doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    std::string name(rootName);
    xmlNodePtr root = xmlNewDocNode(document.m_doc, nullptr,
                                    reinterpret_cast<const xmlChar*>(name.c_str()), nullptr);
    xmlDocSetRootElement(document.m_doc, root);
    return document;
}

XmlNode XmlDocument::AppendElement(XmlNode parent, std::string_view name, std::string_view text) {
    if (!parent) throw ControlError("Object required", kLibraryTitle, kErrObjectRequired);
    std::string n(name);
    xmlNodePtr child =
        xmlNewChild(parent.Raw(), nullptr, reinterpret_cast<const xmlChar*>(n.c_str()), nullptr);
    if (!text.empty()) {
        // A document is UTF-8 throughout; a text of unknown origin must not break it.
        std::string t = ValidUtf8(text);
        xmlNodeAddContent(child, reinterpret_cast<const xmlChar*>(t.c_str()));
    }
    return XmlNode(child);
}

void XmlDocument::SetAttribute(XmlNode node, std::string_view name, std::string_view value) {
    if (!node) throw ControlError("Object required", kLibraryTitle, kErrObjectRequired);
    std::string n(name);
    std::string v = ValidUtf8(value);
    xmlSetProp(node.Raw(), reinterpret_cast<const xmlChar*>(n.c_str()),
               reinterpret_cast<const xmlChar*>(v.c_str()));
}

void XmlDocument::Save(const std::string& path) const {
    if (!m_doc) throw ControlError("Object required", kLibraryTitle, kErrObjectRequired);
    xmlChar* text = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(m_doc, &text, &size, "UTF-8", 1);
    if (!text) throw ControlError("Out of memory", kLibraryTitle, 7);
    const std::string bytes(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
    xmlFree(text);
    WriteFileAtomically(path, bytes);
}

}  // namespace zd
