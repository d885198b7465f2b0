#pragma once

#include "ui/dialog.h"

#include "resource.h"

namespace ui {

// Template 100 as it stands; the base ends it on OK, Escape or the close box.
class AboutDialog : public Dialog {
public:
    AboutDialog() : Dialog(IDD_ABOUTBOX) {}
};

}  // namespace ui
