// A document full of photos, as cameras make them: folvane-cli's PDF is no larger than the
// office's own export of it, and a photo shown at no more than print resolution keeps its pixels
// and stays a JPEG.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>

#include "tests/e2e/e2e_environment.h"
#include "tests/e2e/pdf_facts.h"
#include "tests/e2e/reference_exports.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

namespace e2e {
namespace {

using testing_support::WriteFile;

// The office's export is the measure; a little is allowed for the wrapping of each page.
constexpr double kMostSizeRatio = 1.15;

// A photo's look: soft colour fields with grain, which JPEG keeps small and PNG does not.
QImage Photo(int width, int height, std::uint32_t seed) {
    QImage image(width, height, QImage::Format_RGB32);
    std::uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int grain = static_cast<int>(state >> 28) - 8;
            const double u = static_cast<double>(x) / width;
            const double v = static_cast<double>(y) / height;
            auto channel = [&](double phase) {
                const double level = 128 + 100 * std::sin(6 * u + phase) * std::cos(4 * v - phase);
                return std::clamp(static_cast<int>(level) + grain, 0, 255);
            };
            image.setPixel(x, y, qRgb(channel(seed), channel(seed + 2), channel(seed + 4)));
        }
    }
    return image;
}

// The picture's file as base64, or empty when Qt cannot write the format here.
std::string Encoded(const QImage& image, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, quality)) {
        return {};
    }
    return bytes.toBase64().toStdString();
}

std::string Frame(const std::string& name, const std::string& data, double widthCm,
                  double heightCm) {
    return "<draw:frame draw:name=\"" + name + "\" text:anchor-type=\"as-char\" svg:width=\"" +
           std::to_string(widthCm) + "cm\" svg:height=\"" + std::to_string(heightCm) +
           "cm\"><draw:image><office:binary-data>" + data +
           "</office:binary-data></draw:image></draw:frame>";
}

// A camera's photo shown at several sizes (all above 300 pixels per inch), a smaller photo shown
// at 135 pixels per inch, and a drawing-like picture, over two pages.
std::string Source(const std::string& camera, const std::string& small, const std::string& png) {
    return std::string(kFlatOdtOpening) + R"( <office:automatic-styles>
  <style:style style:name="NewPage" style:family="paragraph">
   <style:paragraph-properties fo:break-before="page"/></style:style>
 </office:automatic-styles>
 <office:body><office:text>
  <text:p>The harbour at dawn.</text:p>
  <text:p>)" +
           Frame("Harbour", camera, 8, 6) +
           R"(</text:p>
  <text:p>The same, smaller: )" +
           Frame("Harbour small", camera, 4, 3) + R"(</text:p>
  <text:p text:style-name="NewPage">The boats.</text:p>
  <text:p>)" +
           Frame("Boats", small, 12, 9) +
           R"(</text:p>
  <text:p>The plan of the quay.</text:p>
  <text:p>)" +
           Frame("Plan", png, 6, 4) +
           R"(</text:p>
 </office:text></office:body>
</office:document>
)";
}

class Pictures : public PipelineTest {
  protected:
    void SetUpPipeline() override {
        const std::string camera = Encoded(Photo(1600, 1200, 1), "JPG", 85);
        const std::string small = Encoded(Photo(640, 480, 2), "JPG", 80);
        const std::string png = Encoded(Photo(300, 200, 3), "PNG");
        if (camera.empty() || png.empty()) {
            GTEST_SKIP() << "Qt cannot write JPEG or PNG pictures here";
        }
        const std::string source = Source(camera, small, png);
        const fs::path folder = E2E_GENERATED_FOLDER "/pictures";
        std::string error;
        ASSERT_TRUE(MadeOnce(
            folder, std::to_string(std::hash<std::string>{}(source)),
            [&](std::string* why) {
                WriteFile(folder / "photos.fodt", source);
                return ConvertWithLibreOffice({folder / "photos.fodt"}, "docx:MS Word 2007 XML",
                                              folder / "documents", why) &&
                       ConvertWithLibreOffice({folder / "documents" / "photos.docx"},
                                              kReferencePdfFilter, folder / "reference", why);
            },
            &error))
            << error;
        document_ = folder / "documents" / "photos.docx";
        reference_ = folder / "reference" / "photos.pdf";
    }

    fs::path document_;
    fs::path reference_;
};

TEST_F(Pictures, PdfIsNoLargerThanTheOfficesOwnAndPhotosStayJpegs) {
    testing_support::ScopedPlatform platform;
    ASSERT_TRUE(InstallPlatform());
    const fs::path copy = platform.Work() / document_.filename();
    fs::copy_file(document_, copy);
    const fs::path output = platform.Work() / "pdf";
    fs::create_directories(output);
    const testing_support::ProcessResult run =
        RunCli({"--keep-links", "--keep-bookmarks", "-o", output.string(), copy.string()},
               platform.Work());
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    const fs::path pdf = output / "photos.pdf";

    const double ratio =
        static_cast<double>(fs::file_size(pdf)) / static_cast<double>(fs::file_size(reference_));
    EXPECT_LE(ratio, kMostSizeRatio)
        << fs::file_size(pdf) << " bytes against the office's " << fs::file_size(reference_);
    bool smallPhotoAsItIs = false;
    for (const PdfImage& image : ImagesIn(pdf)) {
        smallPhotoAsItIs = smallPhotoAsItIs || (image.width == 640 && image.height == 480 &&
                                                image.filter == "/DCTDecode");
    }
    EXPECT_TRUE(smallPhotoAsItIs) << "the 640 x 480 photo is not a JPEG of its own size";
    EXPECT_EQ(ReadPdfInfo(pdf).Field("Pages"), ReadPdfInfo(reference_).Field("Pages"));
}

}  // namespace
}  // namespace e2e
