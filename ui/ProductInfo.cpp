#include "ui/ProductInfo.h"

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
