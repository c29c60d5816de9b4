// Draws the default skin: the main window's background, the state strips of its buttons, the
// program and settings icons, and the SkinSetting.xml that places them. Run at build time:
//   make_default_skin <skin folder> [preview.png]
// The preview shows the background with every button's normal frame at its place, and the
// captions the window sets, to judge the look without starting the program.
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QXmlStreamWriter>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kWindowWidth = 650;
constexpr int kWindowHeight = 450;
constexpr int kTitleHeight = 32;
// The output row's band: the colour the window gives the output label's background.
constexpr int kFooterTop = 391;
const QColor kFooter(207, 207, 207);

// A pixel of this colour is transparent in every picture of the skin.
const QColor kKey(255, 0, 255);

const QColor kTitle(0x20, 0x3a, 0x55);
const QColor kBody(0xf2, 0xf4, 0xf7);
const QColor kPanelBorder(0xc6, 0xce, 0xd8);
const QColor kAccent(0x2f, 0x7e, 0xc9);
const QColor kAccentHover(0x3d, 0x8f, 0xdc);
const QColor kAccentPressed(0x24, 0x68, 0xa8);
const QColor kCaptionBlue(60, 150, 220);  // Remove's and Open's caption colour
const QColor kGlyph(0x4a, 0x5a, 0x6c);
const QColor kDisabledFill(0xc4, 0xc9, 0xcf);
const QColor kDisabledLine(0xa9, 0xb0, 0xb8);

const char kCaptionFont[] = "Liberation Sans";  // metric-compatible with Arial
const char kTitleFont[] = "DejaVu Sans";        // the Verdana stand-in

enum Frame { kNormal, kHover, kPressed, kDisabled };
constexpr int kFrames = 4;

using Draw = std::function<void(QPainter&, QRectF, Frame)>;

// A picture drawn antialiased, laid on the colour it will sit on, and cut with the key colour
// where the drawing left the pixel mostly uncovered.
QImage Keyed(QSize size, QColor matte, const std::function<void(QPainter&)>& draw) {
    QImage drawn(size, QImage::Format_ARGB32);
    drawn.fill(Qt::transparent);
    {
        QPainter p(&drawn);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        draw(p);
    }
    QImage out(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        const QRgb* from = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
        QRgb* to = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            int a = qAlpha(from[x]);
            if (a < 128) {
                to[x] = kKey.rgb();
                continue;
            }
            auto mix = [a](int c, int m) { return (c * a + m * (255 - a)) / 255; };
            to[x] = qRgb(mix(qRed(from[x]), matte.red()), mix(qGreen(from[x]), matte.green()),
                         mix(qBlue(from[x]), matte.blue()));
        }
    }
    return out;
}

// Four frames side by side: normal, hover, pressed, disabled.
QImage Strip(QSize frame, QColor matte, const Draw& draw) {
    return Keyed(QSize(frame.width() * kFrames, frame.height()), matte, [&](QPainter& p) {
        for (int f = 0; f < kFrames; ++f) {
            p.save();
            p.translate(f * frame.width(), 0);
            draw(p, QRectF(0, 0, frame.width(), frame.height()), static_cast<Frame>(f));
            p.restore();
        }
    });
}

void RoundedFill(QPainter& p, QRectF r, qreal radius, QColor fill, QColor line) {
    p.setPen(line.isValid() ? QPen(line, 1) : Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

QPen GlyphPen(QColor c, qreal width) {
    QPen pen(c, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// Filled accent button with a glyph; the caption is drawn by the control.
Draw PrimaryButton(std::function<void(QPainter&, QRectF)> glyph) {
    return [glyph](QPainter& p, QRectF r, Frame f) {
        QColor fill = f == kHover      ? kAccentHover
                      : f == kPressed  ? kAccentPressed
                      : f == kDisabled ? kDisabledFill
                                       : kAccent;
        RoundedFill(p, r, 6, fill, QColor());
        if (f != kPressed && f != kDisabled) {
            // A thin light edge along the top gives the face some depth.
            p.setPen(QPen(QColor(255, 255, 255, 60), 1));
            p.drawLine(QPointF(r.left() + 6, 1.5), QPointF(r.right() - 6, 1.5));
        }
        p.setPen(GlyphPen(f == kDisabled ? QColor(0xf4, 0xf6, 0xf8) : Qt::white, 2.2));
        glyph(p, r);
    };
}

// Light outlined button for the secondary commands.
void SecondaryButton(QPainter& p, QRectF r, Frame f) {
    QColor fill = f == kHover      ? QColor(0xe8, 0xf2, 0xfc)
                  : f == kPressed  ? QColor(0xd3, 0xe6, 0xf8)
                  : f == kDisabled ? QColor(0xe9, 0xeb, 0xee)
                                   : QColor(Qt::white);
    QColor line = f == kDisabled ? kDisabledLine : f == kNormal ? kPanelBorder : kCaptionBlue;
    RoundedFill(p, r, 5, fill, line);
}

// A borderless icon button on the body: a soft round tile shows on hover and press.
Draw IconButton(std::function<void(QPainter&, QRectF)> glyph) {
    return [glyph](QPainter& p, QRectF r, Frame f) {
        if (f == kHover || f == kPressed) {
            RoundedFill(p, r, 7, f == kHover ? QColor(0xe1, 0xe7, 0xee) : QColor(0xcf, 0xd8, 0xe2),
                        QColor());
        } else {
            // The face must not be cut away: only the key colour is transparent, so the resting
            // tile is the body colour itself.
            RoundedFill(p, r, 7, kBody, QColor());
        }
        QColor c = f == kDisabled ? kDisabledLine : f == kNormal ? kGlyph : kAccentPressed;
        p.setPen(GlyphPen(c, 1.8));
        p.setBrush(Qt::NoBrush);
        glyph(p, r);
    };
}

// Minimise and close on the title bar.
Draw TitleButton(bool closes) {
    return [closes](QPainter& p, QRectF r, Frame f) {
        QColor fill = kTitle;
        if (f == kHover) {
            fill = closes ? QColor(0xd9, 0x3f, 0x3f) : QColor(0x33, 0x52, 0x73);
        } else if (f == kPressed) {
            fill = closes ? QColor(0xb3, 0x2e, 0x2e) : QColor(0x17, 0x2a, 0x3d);
        }
        p.fillRect(r, fill);
        QColor c = f == kDisabled ? QColor(0x7d, 0x8c, 0x9c) : QColor(0xf4, 0xf7, 0xfa);
        p.setPen(GlyphPen(c, 1.6));
        QPointF m = r.center();
        if (closes) {
            p.drawLine(m + QPointF(-5, -5), m + QPointF(5, 5));
            p.drawLine(m + QPointF(5, -5), m + QPointF(-5, 5));
        } else {
            p.drawLine(m + QPointF(-6, 0.5), m + QPointF(6, 0.5));
        }
    };
}

void PlusGlyph(QPainter& p, QRectF r) {
    // Level with the caption, which the window draws 5 pixels lower than centred.
    QPointF c(15, r.center().y() + 2.5);
    p.drawLine(c + QPointF(-5, 0), c + QPointF(5, 0));
    p.drawLine(c + QPointF(0, -5), c + QPointF(0, 5));
}

void ArrowGlyph(QPainter& p, QRectF r) {
    QPointF c(r.right() - 18, r.center().y());
    p.drawLine(c + QPointF(-7, 0), c + QPointF(7, 0));
    p.drawLine(c + QPointF(2, -5), c + QPointF(7, 0));
    p.drawLine(c + QPointF(2, 5), c + QPointF(7, 0));
}

void GlobeGlyph(QPainter& p, QRectF r) {
    QRectF g(r.center() - QPointF(8, 8), QSizeF(16, 16));
    p.drawEllipse(g);
    p.drawEllipse(g.adjusted(4.5, 0, -4.5, 0));
    p.drawLine(QPointF(g.left() + 1, g.center().y()), QPointF(g.right() - 1, g.center().y()));
}

void HelpGlyph(QPainter& p, QRectF r) {
    QRectF g(r.center() - QPointF(8, 8), QSizeF(16, 16));
    p.drawEllipse(g);
    QFont font(kCaptionFont);
    font.setPixelSize(12);
    font.setBold(true);
    p.setFont(font);
    p.drawText(g.translated(0, 0.5), Qt::AlignCenter, "?");
}

// The program's mark: a page with a folded corner over the accent colour.
void ProgramMark(QPainter& p, QRectF r) {
    qreal s = r.width() / 32.0;
    p.save();
    p.translate(r.topLeft());
    p.scale(s, s);
    RoundedFill(p, QRectF(0, 0, 32, 32), 7, kAccent, QColor());
    QPainterPath page;
    page.moveTo(9, 6);
    page.lineTo(19, 6);
    page.lineTo(24, 11);
    page.lineTo(24, 26);
    page.lineTo(9, 26);
    page.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setBrush(QColor(0xb9, 0xd6, 0xf2));
    QPainterPath fold;
    fold.moveTo(19, 6);
    fold.lineTo(24, 11);
    fold.lineTo(19, 11);
    fold.closeSubpath();
    p.drawPath(fold);
    p.setPen(GlyphPen(kAccent, 1.6));
    for (qreal y : {15.0, 18.5, 22.0}) {
        p.drawLine(QPointF(12, y), QPointF(21, y));
    }
    p.restore();
}

// The list's settings icon: a gear.
void SettingsGear(QPainter& p, QRectF r) {
    QPointF c = r.center();
    p.setPen(Qt::NoPen);
    p.setBrush(kGlyph);
    QPainterPath gear;
    constexpr int kTeeth = 8;
    for (int i = 0; i < kTeeth; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-2.6, -12, 5.2, 7), 1.2, 1.2);
        gear.addPath(QTransform().translate(c.x(), c.y()).rotate(i * 360.0 / kTeeth).map(tooth));
    }
    gear.addEllipse(c, 8.5, 8.5);
    gear.setFillRule(Qt::WindingFill);
    QPainterPath hole;
    hole.addEllipse(c, 3.6, 3.6);
    p.drawPath(gear.simplified().subtracted(hole));
}

struct ButtonSpec {
    int id;
    const char* file;
    QRect rect;
    Draw draw;
    QColor matte;
    // Caption the window sets, for the preview only.
    const char* caption = nullptr;
    int captionSize = 12;
    QColor captionColour = QColor();
    int insetX = 0;
    int insetY = 0;
    bool centred = true;
};

// Ids are the main window's control ids.
std::vector<ButtonSpec> Buttons() {
    return {
        {1001, "BtnAdd.bmp", QRect(8, 41, 124, 38), PrimaryButton(PlusGlyph), kBody, "Add Files",
         12, QColor(250, 250, 250), 25, 5, true},
        {1002, "BtnRemove.bmp", QRect(140, 45, 96, 30), SecondaryButton, kBody, "Remove", 12,
         kCaptionBlue, 5, 2, true},
        {1003, "BtnLanguage.bmp", QRect(568, 44, 32, 32), IconButton(GlobeGlyph), kBody},
        {1005, "BtnHelp.bmp", QRect(608, 44, 32, 32), IconButton(HelpGlyph), kBody},
        {1000, "BtnMin.bmp", QRect(578, 0, 36, kTitleHeight), TitleButton(false), kTitle},
        {1014, "BtnClose.bmp", QRect(614, 0, 36, kTitleHeight), TitleButton(true), kTitle},
        {1009, "BtnOpen.bmp", QRect(450, 405, 52, 27), SecondaryButton, kFooter, "Open", 12,
         kCaptionBlue, 0, 0, true},
        {1010, "BtnConvert.bmp", QRect(508, 399, 134, 42), PrimaryButton(ArrowGlyph), kFooter,
         "Convert", 18, QColor(255, 255, 255), 25, 0, false},
    };
}

// The title's icon static and the rectangles the window's code sets anyway, kept in the file so
// that it describes the whole window.
const QRect kTitleIcon(12, 6, 20, 20);
constexpr int kTitleIconId = 1012;
struct Placement {
    int id;
    QRect rect;
};
const std::vector<Placement> kPlacements = {
    {1011, QRect(40, 4, 220, 24)},    // title
    {1006, QRect(8, 89, 634, 294)},   // batch list
    {1007, QRect(14, 411, 36, 16)},   // output label
    {1008, QRect(54, 408, 390, 23)},  // output box
};

QImage Background() {
    QImage image(kWindowWidth, kWindowHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(image.rect(), kBody);

    // Flat, so that the title bar's buttons sit on it without a seam.
    p.fillRect(QRect(0, 0, kWindowWidth, kTitleHeight), kTitle);

    // The list's frame, one pixel outside the list.
    p.setPen(QPen(kPanelBorder, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7.5, 88.5, 635, 295));

    p.fillRect(QRect(0, kFooterTop, kWindowWidth, kWindowHeight - kFooterTop), kFooter);
    p.setPen(QPen(QColor(0xbb, 0xbb, 0xbb), 1));
    p.drawLine(QPointF(0, kFooterTop + 0.5), QPointF(kWindowWidth, kFooterTop + 0.5));

    // A hairline round the whole window, as it has no frame of its own.
    p.setPen(QPen(QColor(0x16, 0x28, 0x3a), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, kWindowWidth - 1, kWindowHeight - 1));
    return image;
}

bool Save(const QImage& image, const QString& path) {
    if (!image.save(path, "BMP")) {
        std::fprintf(stderr, "make_default_skin: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

void WriteRect(QXmlStreamWriter& xml, QRect r) {
    xml.writeTextElement("left", QString::number(r.left()));
    xml.writeTextElement("top", QString::number(r.top()));
    xml.writeTextElement("length", QString::number(r.width()));
    xml.writeTextElement("height", QString::number(r.height()));
}

bool WriteSkinSetting(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement("AppSetting");
    xml.writeStartElement("MainDlgSetting");
    xml.writeStartElement("BackGround");
    xml.writeTextElement("szFilePath", "MainBackground.bmp");
    xml.writeEndElement();

    xml.writeStartElement("BmpButtons");
    for (const ButtonSpec& b : Buttons()) {
        xml.writeStartElement("BmpButton");
        xml.writeTextElement("BmpButtonID", QString::number(b.id));
        xml.writeTextElement("szFilePath", b.file);
        WriteRect(xml, b.rect);
        xml.writeTextElement("ButtonType", "0");
        xml.writeTextElement("ButtonShowHide", "0");
        xml.writeEndElement();
    }
    xml.writeEndElement();

    xml.writeStartElement("BmpStatics");
    xml.writeStartElement("BmpStatic");
    xml.writeTextElement("BmpStaticID", QString::number(kTitleIconId));
    xml.writeTextElement("szFilePath", "TitleIcon.bmp");
    WriteRect(xml, kTitleIcon);
    xml.writeTextElement("extendnx", "0");
    xml.writeTextElement("extendny", "0");
    xml.writeTextElement("parentid", "0");
    xml.writeEndElement();
    xml.writeEndElement();

    xml.writeStartElement("WindowsPos");
    for (const Placement& w : kPlacements) {
        xml.writeStartElement("WindowPos");
        xml.writeTextElement("ControlID", QString::number(w.id));
        WriteRect(xml, w.rect);
        xml.writeEndElement();
    }
    xml.writeEndElement();

    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return file.error() == QFileDevice::NoError;
}

QImage KeyedIcon(int size, QColor matte, void (*draw)(QPainter&, QRectF)) {
    return Keyed(QSize(size, size), matte, [&](QPainter& p) { draw(p, QRectF(0, 0, size, size)); });
}

// A skinned static shows every pixel of its picture, the key colour too: its icon is laid on the
// colour it sits on.
QImage OnBackground(QImage keyed, QColor background) {
    for (int y = 0; y < keyed.height(); ++y) {
        for (int x = 0; x < keyed.width(); ++x) {
            const QRgb c = keyed.pixel(x, y);
            if (qRed(c) == 255 && qBlue(c) == 255 && qGreen(c) <= 16) {
                keyed.setPixel(x, y, background.rgb());
            }
        }
    }
    return keyed;
}

// Lays a keyed picture over the image: key-coloured pixels let the image show through.
void Composite(QImage& onto, const QImage& picture, QPoint at, QRect source) {
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            QRgb c = picture.pixel(source.x() + x, source.y() + y);
            if (!(qRed(c) == 255 && qBlue(c) == 255 && qGreen(c) <= 16)) {
                onto.setPixel(at.x() + x, at.y() + y, c);
            }
        }
    }
}

void DrawCaption(QPainter& p, const ButtonSpec& b) {
    QFont font(kCaptionFont);
    font.setPixelSize(b.captionSize);
    font.setBold(true);
    p.setFont(font);
    p.setPen(b.captionColour);
    QRect r = b.rect;
    if (b.insetX < r.width()) {
        r.setLeft(r.left() + b.insetX);
    }
    if (b.insetY < r.height()) {
        r.setTop(r.top() + b.insetY);
    }
    p.drawText(r, Qt::AlignVCenter | (b.centred ? Qt::AlignHCenter : Qt::AlignLeft), b.caption);
}

bool WritePreview(const QString& skinFolder, const QString& path) {
    QImage preview(skinFolder + "MainBackground.bmp");
    preview = preview.convertToFormat(QImage::Format_RGB32);
    for (const ButtonSpec& b : Buttons()) {
        QImage strip(skinFolder + b.file);
        Composite(preview, strip, b.rect.topLeft(), QRect(QPoint(0, 0), b.rect.size()));
    }
    QImage icon(skinFolder + "TitleIcon.bmp");
    Composite(preview, icon, kTitleIcon.topLeft(), icon.rect());

    QPainter p(&preview);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (const ButtonSpec& b : Buttons()) {
        if (b.caption) {
            DrawCaption(p, b);
        }
    }
    QFont title(kTitleFont);
    title.setPixelSize(12);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(250, 250, 250));
    p.drawText(kPlacements[0].rect, Qt::AlignVCenter | Qt::AlignLeft, "Tessaline");
    QFont label;
    label.setPixelSize(11);
    p.setFont(label);
    p.setPen(Qt::black);
    p.drawText(kPlacements[2].rect, Qt::AlignVCenter | Qt::AlignLeft, "Output:");
    p.setPen(QColor(0x7a, 0x7a, 0x7a));
    p.setBrush(Qt::white);
    p.drawRect(kPlacements[3].rect.adjusted(0, 0, -1, -1));
    p.end();
    return preview.save(path, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_default_skin <skin folder> [preview.png]\n");
        return 2;
    }
    // Drawing text needs a GUI application, but no screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + "/";
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "make_default_skin: cannot create %s\n", argv[1]);
        return 1;
    }
    bool ok = Save(Background(), folder + "MainBackground.bmp");
    for (const ButtonSpec& b : Buttons()) {
        ok = Save(Strip(b.rect.size(), b.matte, b.draw), folder + b.file) && ok;
    }
    ok = Save(OnBackground(KeyedIcon(kTitleIcon.width(), kTitle, ProgramMark), kTitle),
              folder + "TitleIcon.bmp") &&
         ok;
    // The program icon and the list's settings icon, keyed like the rest.
    ok = Save(KeyedIcon(32, Qt::white, ProgramMark), folder + "ProgramIcon.bmp") && ok;
    ok = Save(KeyedIcon(32, Qt::white, SettingsGear), folder + "SettingsIcon.bmp") && ok;
    // The file last: its presence says the skin is complete.
    if (ok && !WriteSkinSetting(folder + "SkinSetting.xml")) {
        std::fprintf(stderr, "make_default_skin: cannot write SkinSetting.xml\n");
        ok = false;
    }
    if (ok && argc > 2 && !WritePreview(folder, QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "make_default_skin: cannot write the preview %s\n", argv[2]);
        ok = false;
    }
    return ok ? 0 : 1;
}
