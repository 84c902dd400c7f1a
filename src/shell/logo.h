#pragma once
// The splash window that reports progress while a project loads or saves,
// and that doubles as the about box: the logo, the about text, and either
// the status line (splash) or the "Ok" button (about).

#include <QDialog>

#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace kestrune {

class TfrmLogo : public QDialog {
    Q_OBJECT
public:
    explicit TfrmLogo(QWidget* parent = nullptr);

    // An ordinary window when on; otherwise the window stays on top.
    void SetDevelop(bool develop);
    bool Develop() const { return develop_; }

    // Sets the status line to "Loding && initializing " + text and repaints at once.
    void ShowProgress(const std::string& text);
    // The status line's text; an ampersand in it marks a mnemonic and a
    // doubled one stands for itself, so StatusLabel shows DisplayText() of it.
    std::string StatusText() const { return status_; }
    static QString DisplayText(const QString& text);

    // Shows the window as the splash: not modal, status line, no "Ok".
    void ShowSplash();
    // Makes the next showing the about box: "Ok" and no status line (once).
    void PrepareAbout();
    // Shows the window as the modal about box.
    void ShowAbout();

    QLabel* Image;
    QPlainTextEdit* AboutText;
    QLabel* StatusLabel;
    QPushButton* OkButton;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetStatus(const std::string& text);

    bool develop_ = false;
    bool about_ = false;
    std::string status_;
};

} // namespace kestrune
