#pragma once

#include <windows.h>

namespace ui {
class Dialog;
}

// The application object: starts the one dialog and ends with it.
class ConverterApp {
public:
    // Runs the whole program; returns FALSE so the process ends once the dialog has gone,
    // instead of entering a message loop of its own.
    BOOL InitInstance();

    // The main dialog while InitInstance holds it, null otherwise.
    ui::Dialog* mainWindow() const { return mainWindow_; }

private:
    friend class MainWindowScope;
    ui::Dialog* mainWindow_ = nullptr;
};

// Sets the application's main window for as long as the dialog object lives, so no path,
// including the one where the dialog never gets a window, leaves a dangling reference.
class MainWindowScope {
public:
    MainWindowScope(ConverterApp& app, ui::Dialog& dialog) : app_(app) { app_.mainWindow_ = &dialog; }
    ~MainWindowScope() { app_.mainWindow_ = nullptr; }
    MainWindowScope(const MainWindowScope&) = delete;
    MainWindowScope& operator=(const MainWindowScope&) = delete;

private:
    ConverterApp& app_;
};
