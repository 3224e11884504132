#pragma once

#include "app/Dialogs.h"

#include <gtk/gtk.h>

namespace velmora::gtkshell {

// Native file choosers (portal-backed where a desktop portal runs) and message dialogs,
// all modal on the main window.
class GtkDialogs final : public Dialogs {
public:
    explicit GtkDialogs(GtkWindow* parent) : parent_(parent) {}

    std::optional<std::filesystem::path> chooseOpenFile(const std::string& title,
                                                        const std::vector<std::string>& extensions) override;
    std::optional<std::filesystem::path> chooseSaveFile(const std::string& title, const std::string& suggestedName,
                                                        const std::vector<std::string>& extensions) override;
    void showInfo(const std::string& message) override;
    void showCritical(const std::string& title, const std::string& message) override;
    bool askChoice(const std::string& title, const std::string& message, const std::string& acceptLabel,
                   const std::string& cancelLabel) override;

    // Several files for a page's upload prompt; empty when cancelled.
    std::vector<std::filesystem::path> chooseUploadFiles(bool multiple);

    void setParent(GtkWindow* parent) { parent_ = parent; }

private:
    GtkWindow* parent_;
};

} // namespace velmora::gtkshell
