#pragma once
// Every question the editor puts to the user goes through this interface:
// the real program shows Qt dialogs, tests answer from a script.

#include <optional>
#include <string>

class QString;
class QWidget;

namespace kestrune {

class UserDialogs {
public:
    enum class Answer { Yes, No, Cancel };

    virtual ~UserDialogs() = default;

    // An error box with an OK button.
    virtual void Error(const std::string& text) = 0;
    // A warning or confirmation box with Yes and No; true for Yes.
    virtual bool Confirm(const std::string& text) = 0;
    // A confirmation box with Yes, No and Cancel (closing it is Cancel).
    virtual Answer YesNoCancel(const std::string& text) = 0;
    // An input box; nothing when cancelled.
    virtual std::optional<std::string> Input(const std::string& caption, const std::string& prompt,
                                             const std::string& value) = 0;
    // A file-open dialog for pictures starting in a folder; the chosen file's
    // full path, or nothing when cancelled.
    virtual std::optional<std::string> OpenPicture(const std::string& title, const std::string& folder) = 0;
};

// The real dialogs, over a parent window (may be none).
class QtUserDialogs : public UserDialogs {
public:
    explicit QtUserDialogs(QWidget* parent = nullptr) : parent_(parent) {}

    void Error(const std::string& text) override;
    bool Confirm(const std::string& text) override;
    Answer YesNoCancel(const std::string& text) override;
    std::optional<std::string> Input(const std::string& caption, const std::string& prompt,
                                     const std::string& value) override;
    std::optional<std::string> OpenPicture(const std::string& title, const std::string& folder) override;

private:
    QWidget* parent_;
};

// 8-bit text to and from the toolkit's strings, byte for byte.
QString ToQ(const std::string& s);
std::string FromQ(const QString& s);

} // namespace kestrune
