#pragma once

#include "app/Dialogs.h"
#include "core/JSONTools.h"

#include <deque>
#include <filesystem>
#include <iosfwd>
#include <mutex>

namespace velmora {

// The headless host's dialogs: every open and save dialog takes the next answer from its
// queue, as if a user had picked that path. The answers come from a JSON object such as
// {"open": ["/home/me/cv.pdf"], "save": ["/tmp/out.docx", null]}; null, an empty text or an
// exhausted queue is the user cancelling. Alerts are written to the given stream (stderr in
// velmora-bridge), one line each, so scripts can see them.
class ScriptedDialogs final : public Dialogs {
public:
    // A dialog as it was asked for, kept so tests and scripts can check titles and names.
    struct Request {
        std::string kind; // "open" or "save"
        std::string title;
        std::string suggestedName;
        std::vector<std::string> extensions;
    };

    // Throws VelmoraError when `answers` is not an object or a queue is not an array of
    // texts and nulls.
    explicit ScriptedDialogs(const json& answers, std::ostream* alerts = nullptr);
    // Reads the answers from a JSON file; throws VelmoraError when it cannot be read or parsed.
    static std::shared_ptr<ScriptedDialogs> fromFile(const std::filesystem::path& file, std::ostream* alerts);

    std::optional<std::filesystem::path> chooseOpenFile(const std::string& title,
                                                        const std::vector<std::string>& extensions) override;
    std::optional<std::filesystem::path> chooseSaveFile(const std::string& title, const std::string& suggestedName,
                                                        const std::vector<std::string>& extensions) override;
    void showInfo(const std::string& message) override;
    void showCritical(const std::string& title, const std::string& message) override;
    // Takes the next answer of the "choice" queue (true or false); none left is cancelling.
    bool askChoice(const std::string& title, const std::string& message, const std::string& acceptLabel,
                   const std::string& cancelLabel) override;

    std::vector<Request> requests() const;
    std::vector<std::string> alerts() const;

private:
    std::optional<std::filesystem::path> next(std::deque<std::optional<std::string>>& queue, Request request);
    void alert(const std::string& line);

    mutable std::mutex mutex_;
    std::deque<std::optional<std::string>> open_;
    std::deque<std::optional<std::string>> save_;
    std::deque<bool> choices_;
    std::ostream* alertStream_;
    std::vector<Request> requests_;
    std::vector<std::string> alerts_;
};

} // namespace velmora
