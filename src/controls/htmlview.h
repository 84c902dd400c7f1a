#pragma once
// A read-only HTML page view over QTextBrowser for the language help.
//
// Pages are loaded from files (8-bit text, taken byte for byte), optionally
// positioned at a named anchor ("page.html#anchor"). The view keeps the file
// it shows, the link under the mouse pointer and a short history of the
// places it went to; it tells its owner after every navigation (another file
// loaded, or a link followed) and offers every key press to its owner before
// handling it itself. Links clicked inside a page are followed here: relative
// page paths, "#anchor" on the same page, or both.

#include <QTextBrowser>

#include <deque>
#include <memory>
#include <string>

class QKeyEvent;

namespace kestrune {

class UserDialogs;

class THtmlView : public QTextBrowser {
    Q_OBJECT
public:
    // Failures (a page that does not exist) are reported through the
    // dialogs; without any, the view shows message boxes of its own.
    explicit THtmlView(QWidget* parent = nullptr, UserDialogs* dialogs = nullptr);
    ~THtmlView() override;

    void SetDialogs(UserDialogs* dialogs);

    // Loads the page of a path that may end in "#" and an anchor name, and
    // shows it at that anchor (at the top without one). A missing file is
    // reported as "Can't locate file: " and the path without the anchor, and
    // nothing changes. Reloading the file already shown is no navigation.
    bool LoadFile(const std::string& path);
    // Follows a link of the page shown: "#anchor", "page.html" or
    // "page.html#anchor", relative to the current file's folder. Links to
    // other schemes (web addresses, mail) are not followed.
    void FollowLink(const std::string& href);

    // The absolute path of the page shown; empty before the first load.
    const std::string& CurrentFile() const { return currentFile_; }
    // The page's <title>.
    std::string DocumentTitle() const;
    // The href of the link under the mouse pointer; empty when none.
    const std::string& HoverLink() const { return hoverLink_; }
    void SetHoverLink(const std::string& href) { hoverLink_ = href; }

    void ScrollToTop();

    // The display position (character position in the shown document) of a
    // position in the page's source text.
    int DisplayPosition(const std::string& source, size_t sourcePos) const;
    // Selects length displayed characters from a display position, without
    // scrolling.
    void SelectDisplayed(int position, int length);
    // Both of the above: selects the displayed characters that begin where
    // the source text's position shows up.
    void SelectFromSource(const std::string& source, size_t sourcePos, int length);
    void ClearSelection();
    std::string SelectedText() const;

    // The places navigated to (file and "#anchor"), oldest first.
    const std::deque<std::string>& History() const { return history_; }
    static constexpr size_t MaxHistory = 100;
    // How many times a page was read from its file.
    int LoadCount() const { return loads_; }

signals:
    // After another file was loaded or a link was followed.
    void Navigated();
    // Every key press, before the view handles it; a receiver that takes the
    // key accepts the event.
    void KeyPressed(QKeyEvent* event);

protected:
    QVariant loadResource(int type, const QUrl& name) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void PositionAt(const std::string& anchor);
    void AddHistory(const std::string& location);

    UserDialogs* dialogs_ = nullptr;
    std::unique_ptr<UserDialogs> ownDialogs_;
    std::string currentFile_;
    std::string hoverLink_;
    std::deque<std::string> history_;
    int loads_ = 0;
};

} // namespace kestrune
