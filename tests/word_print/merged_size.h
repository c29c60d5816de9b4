// How large the payloads of a job make the assembled document when the PDF engine keeps one copy
// of every object that several payloads share.
#pragma once

#include <qpdf/QPDFObjectHandle.hh>

#include <cstddef>
#include <set>
#include <string>

namespace word_print_test {

// A stream's bytes as the file stores them (still encoded).
std::string RawBytes(QPDFObjectHandle stream);

// Counts each distinct object once. An object's identity is its content with every reference
// replaced by the identity of the object it names, so the same font copied into two payloads
// under different object numbers is one object. A count of an object is its content's length
// plus what a PDF writer adds around it (object header, stream keywords, cross-reference entry).
class MergedSize {
  public:
    // Counts a payload's page and everything it reaches, except its /Parent.
    void AddPage(QPDFObjectHandle page) { Identity(page); }
    std::size_t Bytes() const { return bytes_; }

  private:
    std::string Content(QPDFObjectHandle object, bool top);
    std::string Identity(QPDFObjectHandle object);

    std::set<std::string> seen_;
    std::size_t bytes_ = 0;
};

}  // namespace word_print_test
