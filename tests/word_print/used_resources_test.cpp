// Which resources a page uses: the names its content mentions, those of the forms that draw with
// the page's resources, and nothing found when a stream cannot be read.
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "components/word/print/UsedResources.h"

namespace {

using word_print::NamesInContent;
using word_print::NamesUsedByPage;
using Names = std::set<std::string>;

TEST(UsedResources, NamesAreReadFromTheContentBytesDecodedAndWhereverTheyStand) {
    EXPECT_EQ(NamesInContent("q /GS1 gs BT /F1 12 Tf (x) Tj ET /Im0 Do Q"),
              (Names{"/GS1", "/F1", "/Im0"}));
    // Delimiters end a name; #xx escapes are decoded as dictionary keys are.
    EXPECT_EQ(NamesInContent("/F#201 9 Tf[/P0/P1]<</MCID 0>>BDC/Cs%comment\n"),
              (Names{"/F 1", "/P0", "/P1", "/MCID", "/Cs"}));
    // Inside a string or at the very end: still counted, as keeping too much is harmless.
    EXPECT_EQ(NamesInContent("(a /Fake name) Tj /Last"), (Names{"/Fake", "/Last"}));
    EXPECT_EQ(NamesInContent("no names at all"), Names{});
    // A broken escape is taken as it stands.
    EXPECT_EQ(NamesInContent("/A#2"), Names{"/A#2"});
}

TEST(UsedResources, FormsDrawingWithThePagesResourcesAddTheirNames) {
    QPDF pdf;
    pdf.emptyPDF();
    QPDFObjectHandle inner = pdf.newStream("/F2 9 Tf");
    inner.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    QPDFObjectHandle outer = pdf.newStream("/Inner Do /GS2 gs");
    outer.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    // A form with resources of its own names its own resources, not the page's.
    QPDFObjectHandle own = pdf.newStream("/F3 9 Tf");
    own.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    own.getDict().replaceKey("/Resources", QPDFObjectHandle::newDictionary());
    QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
    xobjects.replaceKey("/Outer", outer);
    xobjects.replaceKey("/Inner", inner);
    xobjects.replaceKey("/Own", own);
    xobjects.replaceKey("/Unused", pdf.newStream("/F4 9 Tf"));
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    resources.replaceKey("/XObject", xobjects);

    const auto used = NamesUsedByPage(
        {pdf.newStream("/Outer Do /Own Do /F1 12 Tf"), pdf.newStream("")}, resources);
    ASSERT_TRUE(used.has_value());
    EXPECT_EQ(*used, (Names{"/Outer", "/Own", "/F1", "/Inner", "/GS2", "/F2"}));
}

TEST(UsedResources, AStreamThatCannotBeDecodedKeepsEverything) {
    QPDF pdf;
    pdf.emptyPDF();
    QPDFObjectHandle broken = pdf.newStream("this is no flate data");
    broken.getDict().replaceKey("/Filter", QPDFObjectHandle::newName("/FlateDecode"));
    EXPECT_FALSE(NamesUsedByPage({broken}, QPDFObjectHandle::newDictionary()).has_value());
}

}  // namespace
