// skin-preview: a bare frameless window of the main window's size, dressed by a skin folder the
// way the main window dresses itself: a skinned button, panel or plain box for every control
// the file names, then ApplySkinLayout and LoadSkinBackground. For looking at a skin on a real
// display; with a PNG path after the folder it saves what the window shows and ends.
#include <QApplication>
#include <QFrame>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <optional>
#include <string>

#include "skin/BitmapEx.h"
#include "skin/BmpButton.h"
#include "skin/BmpStatic.h"
#include "skin/ControlCommand.h"
#include "skin/SkinApply.h"
#include "skin/xml/SkinLayout.h"

namespace {

class BareWindow : public QWidget {
  public:
    CBitmapEx m_background;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        DrawExtended(m_background, painter, 0, 0, rect());
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: skin-preview SKIN-FOLDER [PNG]\n");
        return 2;
    }
    QApplication app(argc, argv);
    std::string folder = argv[1];
    if (folder.back() != '/')
        folder += '/';
    const std::optional<SkinLayout> layout = ReadSkinLayout(folder, kMainDlgSetting);
    if (!layout) {
        std::fprintf(stderr, "no readable %s in %s\n", kSkinSettingFile, folder.c_str());
        return 1;
    }
    BareWindow window;
    window.setWindowFlag(Qt::FramelessWindowHint);
    window.setFixedSize(650, 450);
    for (const SkinButton& entry : layout->buttons) {
        SetDlgCtrlID(new CBmpButton(&window), entry.id);
    }
    for (const SkinStatic& entry : layout->statics) {
        SetDlgCtrlID(new CBmpStatic(&window), entry.id);
    }
    for (const SkinPlacement& entry : layout->placements) {
        auto* box = new QFrame(&window);  // stands in for the list, the label, the text box
        box->setFrameShape(QFrame::Box);
        SetDlgCtrlID(box, entry.id);
    }
    ApplySkinLayout(folder, &window, kMainDlgSetting);
    LoadSkinBackground(folder, window.m_background, kMainDlgSetting);
    window.show();
    if (argc > 2) {
        const QString png = argv[2];
        QTimer::singleShot(200, [&] { app.exit(window.grab().save(png) ? 0 : 1); });
    }
    return app.exec();
}
