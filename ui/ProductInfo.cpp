#include "ui/ProductInfo.h"

#include <QPixmap>

#include "skin/BitmapEx.h"

const char* ProductVersion() {
    return TESSALINE_VERSION;
}

const char* ProductPageUrl() {
    return TESSALINE_PRODUCT_URL;
}

const char* SupportPageUrl() {
    return TESSALINE_SUPPORT_URL;
}

const char* MakerUrl() {
    return TESSALINE_MAKER_URL;
}

QPixmap ProgramIcon(const std::string& programFolder) {
    const CBitmapEx picture = LoadPicture(programFolder + "skins/Default/ProgramIcon.bmp");
    return picture.IsNull() ? QPixmap()
                            : QPixmap::fromImage(KeyColorToTransparent(picture.Image()));
}
