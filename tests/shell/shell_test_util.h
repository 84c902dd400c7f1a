#pragma once
// Helpers of the window tests: scripted answers to every question, and a
// settings file of the test's own.

#include "controls/userdialogs.h"
#include "core/test_util.h"

#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

namespace kestrune::test {

class ScriptedDialogs : public UserDialogs {
public:
    std::vector<std::string> Errors, Confirmations, Questions;
    std::deque<bool> ConfirmAnswers;
    std::deque<Answer> YesNoCancelAnswers;
    std::deque<std::optional<std::string>> InputAnswers;
    std::deque<std::optional<std::string>> PictureAnswers;
    std::vector<std::string> PictureFolders;

    void Error(const std::string& text) override { Errors.push_back(text); }
    bool Confirm(const std::string& text) override
    {
        Confirmations.push_back(text);
        if (ConfirmAnswers.empty())
            return false;
        const bool a = ConfirmAnswers.front();
        ConfirmAnswers.pop_front();
        return a;
    }
    Answer YesNoCancel(const std::string& text) override
    {
        Questions.push_back(text);
        if (YesNoCancelAnswers.empty())
            return Answer::Cancel;
        const Answer a = YesNoCancelAnswers.front();
        YesNoCancelAnswers.pop_front();
        return a;
    }
    std::optional<std::string> OpenPicture(const std::string& title, const std::string& folder) override
    {
        Questions.push_back(title);
        PictureFolders.push_back(folder);
        if (PictureAnswers.empty())
            return std::nullopt;
        auto a = PictureAnswers.front();
        PictureAnswers.pop_front();
        return a;
    }
    std::optional<std::string> Input(const std::string&, const std::string& prompt, const std::string&) override
    {
        Questions.push_back(prompt);
        if (InputAnswers.empty())
            return std::nullopt;
        auto a = InputAnswers.front();
        InputAnswers.pop_front();
        return a;
    }
};

// Points the settings store at a file in a temporary folder while it lives.
class OwnSettings {
public:
    OwnSettings()
    {
        const char* old = std::getenv("KESTRUNE_SETTINGS");
        saved_ = old ? old : "";
        path_ = dir_ / "settings.ini";
        setenv("KESTRUNE_SETTINGS", path_.c_str(), 1);
    }
    ~OwnSettings() { setenv("KESTRUNE_SETTINGS", saved_.c_str(), 1); }
    const fs::path& Path() const { return path_; }

private:
    TempDir dir_;
    fs::path path_;
    std::string saved_;
};

} // namespace kestrune::test
