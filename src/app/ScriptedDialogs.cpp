#include "app/ScriptedDialogs.h"

#include "core/VelmoraError.h"

#include <fstream>
#include <ostream>
#include <sstream>

namespace velmora {

namespace {

std::deque<std::optional<std::string>> readQueue(const json& answers, const char* key) {
    std::deque<std::optional<std::string>> queue;
    auto it = answers.find(key);
    if (it == answers.end() || it->is_null()) return queue;
    if (!it->is_array())
        throw VelmoraError(std::string("Dialog answers: \"") + key + "\" must be an array of paths.");
    for (const json& answer : *it) {
        if (answer.is_null()) {
            queue.emplace_back(std::nullopt);
        } else if (answer.is_string()) {
            const std::string& path = answer.get_ref<const std::string&>();
            queue.emplace_back(path.empty() ? std::nullopt : std::optional<std::string>(path));
        } else {
            throw VelmoraError(std::string("Dialog answers: \"") + key + "\" may hold only paths and null.");
        }
    }
    return queue;
}

} // namespace

ScriptedDialogs::ScriptedDialogs(const json& answers, std::ostream* alerts) : alertStream_(alerts) {
    if (!answers.is_object()) throw VelmoraError("Dialog answers must be a JSON object.");
    open_ = readQueue(answers, "open");
    save_ = readQueue(answers, "save");
    if (auto it = answers.find("choice"); it != answers.end() && !it->is_null()) {
        if (!it->is_array()) throw VelmoraError("Dialog answers: \"choice\" must be an array of true and false.");
        for (const auto& item : *it) {
            if (!item.is_boolean()) throw VelmoraError("Dialog answers: \"choice\" may hold only true and false.");
            choices_.push_back(item.get<bool>());
        }
    }
}

std::shared_ptr<ScriptedDialogs> ScriptedDialogs::fromFile(const std::filesystem::path& file, std::ostream* alerts) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw VelmoraError("Could not read the dialog answers file " + file.string() + ".");
    std::stringstream content;
    content << in.rdbuf();
    json answers = json::parse(content.str(), nullptr, false);
    if (answers.is_discarded()) throw VelmoraError("The dialog answers file " + file.string() + " is not valid JSON.");
    return std::make_shared<ScriptedDialogs>(answers, alerts);
}

std::optional<std::filesystem::path> ScriptedDialogs::next(std::deque<std::optional<std::string>>& queue,
                                                           Request request) {
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(request));
    if (queue.empty()) return std::nullopt;
    std::optional<std::string> answer = std::move(queue.front());
    queue.pop_front();
    if (!answer) return std::nullopt;
    return std::filesystem::path(*answer);
}

std::optional<std::filesystem::path> ScriptedDialogs::chooseOpenFile(const std::string& title,
                                                                     const std::vector<std::string>& extensions) {
    return next(open_, Request{"open", title, "", extensions});
}

std::optional<std::filesystem::path> ScriptedDialogs::chooseSaveFile(const std::string& title,
                                                                     const std::string& suggestedName,
                                                                     const std::vector<std::string>& extensions) {
    return next(save_, Request{"save", title, suggestedName, extensions});
}

void ScriptedDialogs::alert(const std::string& line) {
    std::lock_guard lock(mutex_);
    alerts_.push_back(line);
    if (alertStream_) *alertStream_ << line << std::endl;
}

void ScriptedDialogs::showInfo(const std::string& message) { alert("Velmora by Quorvane: " + message); }

void ScriptedDialogs::showCritical(const std::string& title, const std::string& message) {
    alert(title + ": " + message);
}

bool ScriptedDialogs::askChoice(const std::string& title, const std::string& message, const std::string& acceptLabel,
                                const std::string& cancelLabel) {
    bool answer = false;
    {
        std::lock_guard lock(mutex_);
        if (!choices_.empty()) {
            answer = choices_.front();
            choices_.pop_front();
        }
    }
    alert(title + ": " + message + " [" + acceptLabel + " | " + cancelLabel + "] -> " + (answer ? acceptLabel : cancelLabel));
    return answer;
}

std::vector<ScriptedDialogs::Request> ScriptedDialogs::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> ScriptedDialogs::alerts() const {
    std::lock_guard lock(mutex_);
    return alerts_;
}

} // namespace velmora
