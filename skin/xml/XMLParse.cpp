#include "skin/xml/XMLParse.h"

#include <climits>
#include <cstdlib>

#include <pugixml.hpp>

namespace {

// The concatenated text of every text node below the element, as a DOM's text content.
void AppendText(pugi::xml_node node, std::string& out) {
    for (pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
            out += child.value();
        } else if (child.type() == pugi::node_element) {
            AppendText(child, out);
        }
    }
}

std::string Trimmed(const std::string& s) {
    const char* blanks = " \t\r\n";
    size_t first = s.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    size_t last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

}  // namespace

XMLParse::XMLParse() = default;
XMLParse::~XMLParse() = default;

bool XMLParse::Load(const std::string& path) {
    document_.reset();
    auto document = std::make_unique<pugi::xml_document>();
    pugi::xml_parse_result result = document->load_file(path.c_str());
    if (!result) {
        return false;
    }
    document_ = std::move(document);
    return true;
}

XMLNode XMLParse::Node(XMLNode parent, const std::string& name, int index) const {
    if (!document_ || index < 0) {
        return nullptr;
    }
    pugi::xml_node from = parent ? pugi::xml_node(parent) : pugi::xml_node(*document_);
    for (pugi::xml_node child = from.child(name.c_str()); child;
         child = child.next_sibling(name.c_str())) {
        if (index-- == 0) {
            return child.internal_object();
        }
    }
    return nullptr;
}

int XMLParse::Count(const std::string& name, XMLNode parent) const {
    if (!document_ || !parent) {
        return 0;
    }
    int n = 0;
    for (pugi::xml_node child : pugi::xml_node(parent).children()) {
        if (child.type() == pugi::node_element && (name.empty() || name == child.name())) {
            ++n;
        }
    }
    return n;
}

bool XMLParse::Text(const std::string& name, XMLNode parent, std::string& text) const {
    XMLNode element = Node(parent, name, 0);
    if (!element) {
        return false;
    }
    std::string content;
    AppendText(pugi::xml_node(element), content);
    text = Trimmed(content);
    return true;
}

int XMLParse::Int(const std::string& name, XMLNode parent) const {
    std::string value;
    Text(name, parent, value);
    // strtol rather than atoi: the same reading, but an out-of-range value is clamped
    // instead of undefined.
    long n = std::strtol(value.c_str(), nullptr, 10);
    if (n > INT_MAX) {
        return INT_MAX;
    }
    if (n < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(n);
}

std::string XMLParse::String(const std::string& name, XMLNode parent) const {
    std::string value;
    Text(name, parent, value);
    return value;
}
