#pragma once

// The one place the version lives: the version block and the window texts read it from here.

#define TW_VERSION_MAJOR 1
#define TW_VERSION_MINOR 0
#define TW_VERSION_BUILD 0
#define TW_VERSION_REVISION 4

#define TW_STRINGIFY_(x) #x
#define TW_STRINGIFY(x) TW_STRINGIFY_(x)

#define TW_VERSION_TEXT                                                             \
    TW_STRINGIFY(TW_VERSION_MAJOR) "." TW_STRINGIFY(TW_VERSION_MINOR) "."           \
    TW_STRINGIFY(TW_VERSION_BUILD) "." TW_STRINGIFY(TW_VERSION_REVISION)
#define TW_VERSION_COMMAS                                                           \
    TW_STRINGIFY(TW_VERSION_MAJOR) ", " TW_STRINGIFY(TW_VERSION_MINOR) ", "         \
    TW_STRINGIFY(TW_VERSION_BUILD) ", " TW_STRINGIFY(TW_VERSION_REVISION)

#define TW_PRODUCT_NAME "Tomewright"
#define TW_RELEASE_NAME "Larkfield"
#define TW_COMPANY_NAME "Tomewright"
#define TW_COPYRIGHT "Copyright (C) 2026 Tomewright"
#define TW_WEB_ADDRESS "https://tomewright.example"
