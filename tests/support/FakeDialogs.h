#pragma once

#include "app/Dialogs.h"

#include <deque>
#include <string>
#include <vector>

namespace velmora::testing {

// Dialogs answered from queues the test fills; every alert is recorded.
class FakeDialogs final : public Dialogs {
public:
    std::optional<std::filesystem::path> chooseOpenFile(const std::string& title,
                                                        const std::vector<std::string>&) override {
        titles.push_back(title);
        return next(openAnswers);
    }
    std::optional<std::filesystem::path> chooseSaveFile(const std::string& title, const std::string&,
                                                        const std::vector<std::string>&) override {
        titles.push_back(title);
        return next(saveAnswers);
    }
    void showInfo(const std::string& message) override { infos.push_back(message); }
    void showCritical(const std::string& title, const std::string& message) override {
        criticals.push_back(title + "\n" + message);
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
    std::deque<std::optional<std::filesystem::path>> openAnswers;
    std::deque<std::optional<std::filesystem::path>> saveAnswers;
    std::vector<std::string> titles;
    std::vector<std::string> infos;
    std::vector<std::string> criticals;

private:
    static std::optional<std::filesystem::path> next(std::deque<std::optional<std::filesystem::path>>& queue) {
        if (queue.empty()) return std::nullopt;
        auto answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

} // namespace velmora::testing
