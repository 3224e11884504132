#pragma once

#include "app/Dialogs.h"

#include <deque>
#include <string>
#include <vector>

namespace velmora::testing {

// Dialogs as a user who cancels every file dialog and answers choices from a queue the test
// fills; every alert and choice is recorded.
class FakeDialogs final : public Dialogs {
public:
    std::optional<std::filesystem::path> chooseOpenFile(const std::string&, const std::vector<std::string>&) override {
        return std::nullopt;
    }
    std::optional<std::filesystem::path> chooseSaveFile(const std::string&, const std::string&,
                                                        const std::vector<std::string>&) override {
        return std::nullopt;
    }
    void showInfo(const std::string& message) override { infos.push_back(message); }
    void showCritical(const std::string& title, const std::string& message) override {
        infos.push_back(title + "\n" + message);
    }

    bool askChoice(const std::string& title, const std::string& message, const std::string& accept,
                   const std::string& cancel) override {
        choices.push_back(title + "\n" + message + "\n" + accept + " | " + cancel);
        if (choiceAnswers.empty()) return false;
        const bool answer = choiceAnswers.front();
        choiceAnswers.pop_front();
        return answer;
    }

    std::deque<bool> choiceAnswers;
    std::vector<std::string> choices;
    std::vector<std::string> infos; // alerts and critical messages alike
};

} // namespace velmora::testing
