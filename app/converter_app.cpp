#include "app/converter_app.h"

#include "ui/converter_dialog.h"

BOOL ConverterApp::InitInstance() {
    ConverterDialog dialog;
    const MainWindowScope scope(*this, dialog);
    if (dialog.locateConverter()) dialog.runModal(nullptr);
    return FALSE;
}
