// The skin file's XML reader: one loaded document (or none), child elements looked up by name
// and index in document order, and their text content.
#pragma once

#include <memory>
#include <string>

namespace pugi {
class xml_document;
struct xml_node_struct;
}  // namespace pugi

// An element of the loaded document; nullptr is "none".
using XMLNode = pugi::xml_node_struct*;

class XMLParse {
  public:
    XMLParse();
    ~XMLParse();
    XMLParse(const XMLParse&) = delete;
    XMLParse& operator=(const XMLParse&) = delete;

    // Loads the file. True only when it was read and parsed; otherwise the reader holds no
    // document, whatever it held before.
    bool Load(const std::string& path);

    // The index-th child element called name under parent (the document when parent is none),
    // counting from 0 in document order; none when absent or when no document is loaded.
    XMLNode Node(XMLNode parent, const std::string& name, int index) const;

    // How many child elements called name the parent has (every child element when name is
    // empty); 0 when the parent is none.
    int Count(const std::string& name, XMLNode parent) const;

    // The text content of the parent's first child element called name, without the blanks
    // around it. False, leaving text untouched, when there is no such element.
    bool Text(const std::string& name, XMLNode parent, std::string& text) const;

    // A value as the skin reads it: the element's text converted as atoi does (leading blanks,
    // an optional sign, digits); a missing element or one without digits reads as 0.
    int Int(const std::string& name, XMLNode parent) const;

    // The element's text, or the empty string when it is missing.
    std::string String(const std::string& name, XMLNode parent) const;

  private:
    std::unique_ptr<pugi::xml_document> document_;
};
