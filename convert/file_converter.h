#pragma once

#include "platform/window.h"

#include <string>

// Converts one dropped file through the external converter. The main dialog derives from
// this class, so the steps own their message boxes through the dialog's window; tests derive
// from it to read the messages without a window.
class FileConverter {
public:
    virtual ~FileConverter() = default;

    // Dispatches by sourceKind(): a text to convertTextFile, a direct type to convertDirect.
    bool convertFile(const std::string& path);
    bool convertTextFile(const std::string& path);
    bool convertDirect(const std::string& path);
    bool writeHtmlFromText(const std::string& sourcePath, const std::string& htmlPath);

    std::string programDirectory;
    std::string converterPath;

protected:
    virtual platform::WindowRef ownerWindow() const { return nullptr; }
    // Every failure is reported here before a step returns false.
    virtual void showMessage(const std::string& text);

private:
    bool convertThroughIntermediate(const std::string& path, const std::string& htm, const std::string& mobi);
    void runConverter(const std::string& source, const std::string& mobi);
};
