#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// Modal dialogs, behind an interface so the flows that use them run without a display:
// the desktop shell uses GTK file choosers and message dialogs, the headless host answers
// from a JSON file, tests from a scripted fake.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // File name extensions without dots ("pdf", "docx"); empty allows any file.
    virtual std::optional<std::filesystem::path> chooseOpenFile(const std::string& title,
                                                                const std::vector<std::string>& extensions) = 0;
    virtual std::optional<std::filesystem::path> chooseSaveFile(const std::string& title,
                                                                const std::string& suggestedName,
                                                                const std::vector<std::string>& extensions) = 0;
    // Title "Velmora by Quorvane", one OK button.
    virtual void showInfo(const std::string& message) = 0;
    virtual void showCritical(const std::string& title, const std::string& message) = 0;
    // A question with two buttons; true when the user chose `acceptLabel`. Closing the dialog
    // is the cancel answer.
    virtual bool askChoice(const std::string& title, const std::string& message, const std::string& acceptLabel,
                           const std::string& cancelLabel) = 0;
};

} // namespace velmora
