// Copies objects from source PDFs into one output PDF and writes every distinct object once.
//
// Payload pages of one document carry byte-identical fonts and images; copied naively, a
// 100-page document would hold each font 100 times. The importer keys every copied stream by
// its dictionary (without /Length) and raw data, and every copied indirect dictionary or array by
// its text after its references were copied, so identical font files merge first, then the font
// descriptors and fonts that refer to them, and so on upwards. Each source is read once and can
// be released as soon as its objects are copied, which keeps a long document's memory bounded by
// its distinct objects.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

namespace pdfengine {

class ObjectImporter {
  public:
    explicit ObjectImporter(QPDF& output) : output_(output) {}

    // Copies `object` of the current source, and everything it refers to, into the output;
    // returns the output's object. Throws what qpdf throws for a damaged source.
    QPDFObjectHandle Import(QPDFObjectHandle object);
    // Ends the current source: object numbers seen from now on belong to another file.
    void EndSource() { copied_.clear(); }

    // Distinct streams copied so far.
    std::size_t DistinctStreams() const { return streamCount_; }

  private:
    struct InProgress {
        QPDFObjectHandle placeholder;  // made when a reference cycle reaches the object
    };
    struct StoredStream {
        QPDFObjectHandle stream;
        std::shared_ptr<Buffer> data;
    };

    QPDFObjectHandle Copy(QPDFObjectHandle object);
    QPDFObjectHandle CopyDirect(QPDFObjectHandle object);
    QPDFObjectHandle CopyIndirect(QPDFObjectHandle object);
    QPDFObjectHandle CopyStream(QPDFObjectHandle stream, QPDFObjectHandle& placeholder);
    QPDFObjectHandle CopyContainer(QPDFObjectHandle object);

    QPDF& output_;
    std::map<QPDFObjGen, QPDFObjectHandle> copied_;  // current source -> output
    std::map<QPDFObjGen, InProgress> inProgress_;
    std::unordered_map<std::string, std::vector<StoredStream>> streams_;
    std::unordered_map<std::string, QPDFObjectHandle> containers_;
    std::size_t streamCount_ = 0;
};

}  // namespace pdfengine
