#pragma once

#include "convert/file_converter.h"
#include "ui/dialog.h"
#include "ui/list_box.h"

#include <windows.h>
// shellapi.h needs the types from windows.h.
#include <shellapi.h>

#include <string>

// The main window: a list of progress lines, fed by files dropped from the shell, each
// converted on the spot through FileConverter.
class ConverterDialog : public ui::Dialog, public FileConverter {
public:
    ConverterDialog();

    // Finds Tools\kindlegen.exe beside the executable; says so and returns false when absent.
    bool locateConverter();
    // The same for a given program folder.
    bool locateConverterIn(const std::string& directory);

protected:
    BOOL OnInitDialog() override;
    ui::MessageResult onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    platform::WindowRef ownerWindow() const override { return hwnd(); }

    ui::MessageResult OnSysCommand(UINT commandId, LPARAM parameter);
    ui::MessageResult OnPaint();
    HCURSOR OnQueryDragIcon() const;
    void OnDropFiles(HDROP dropHandle);
    void OnAboutButton();

    ui::ListBox progressList;
    HICON icon;

private:
    static const ui::MessageMapEntry<ConverterDialog> messageMap[];

    void showAboutBox();
    // Checks one dropped file; false (after the message) ends the batch.
    bool admitDroppedFile(const std::string& path);
    void addProgressLine(const std::string& text);
};
