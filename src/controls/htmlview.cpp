#include "controls/htmlview.h"

#include "controls/userdialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace kestrune {
namespace {

// The name of the empty anchor put into a copy of a page to find where a
// source position shows up.
const QString kDisplayMark = QStringLiteral("kestrune-display-mark");

struct TPagePath {
    std::string file;
    std::string anchor;
};

// "folder/page.html#anchor" -> file and anchor. Only a "#" in the file name
// part starts the anchor.
TPagePath SplitAnchor(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    const size_t hash = path.find('#', slash == std::string::npos ? 0 : slash + 1);
    if (hash == std::string::npos)
        return {path, {}};
    return {path.substr(0, hash), path.substr(hash + 1)};
}

std::string Absolute(const std::string& file)
{
    std::error_code ec;
    const std::filesystem::path abs = std::filesystem::absolute(file, ec);
    return ec ? file : abs.lexically_normal().string();
}

// The text of a page with every line break (CR LF, LF or a lone CR) as one
// LF: the document reads a CR as a character of its own in places, so the
// shown page and the copies parsed to map positions agree only when neither
// has any. With a position of the bytes, sets it to the same place in the
// result.
QString PageText(const char* bytes, size_t size, size_t* position = nullptr)
{
    QString text;
    text.reserve(static_cast<int>(size));
    size_t mapped = std::string::npos;
    for (size_t i = 0; i < size; ++i) {
        if (position && mapped == std::string::npos && i >= *position)
            mapped = static_cast<size_t>(text.size());
        const char c = bytes[i];
        if (c == '\r') {
            text += QLatin1Char('\n');
            if (i + 1 < size && bytes[i + 1] == '\n')
                ++i;
        } else {
            text += QLatin1Char(c);
        }
    }
    if (position)
        *position = mapped == std::string::npos ? static_cast<size_t>(text.size()) : mapped;
    return text;
}

// The position of the first fragment that carries the named anchor, or -1.
int AnchorPosition(const QTextDocument& doc, const QString& name)
{
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid() && fragment.charFormat().anchorNames().contains(name))
                return fragment.position();
        }
    return -1;
}

} // namespace

THtmlView::THtmlView(QWidget* parent, UserDialogs* dialogs) : QTextBrowser(parent)
{
    SetDialogs(dialogs);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    document()->setDefaultFont(QFont(QStringLiteral("Tahoma"), 10));
    document()->setDefaultStyleSheet(QStringLiteral("pre, code, tt, kbd, samp { font-family: \"Courier New\"; }"));

    connect(this, &QTextBrowser::highlighted, this, [this](const QUrl& url) { hoverLink_ = FromQ(url.toString()); });
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) { FollowLink(FromQ(url.toString())); });
}

THtmlView::~THtmlView() = default;

void THtmlView::SetDialogs(UserDialogs* dialogs)
{
    if (dialogs) {
        dialogs_ = dialogs;
        ownDialogs_.reset();
        return;
    }
    if (!ownDialogs_)
        ownDialogs_ = std::make_unique<QtUserDialogs>(this);
    dialogs_ = ownDialogs_.get();
}

bool THtmlView::LoadFile(const std::string& path)
{
    const TPagePath page = SplitAnchor(path);
    QFile file(ToQ(page.file));
    if (page.file.empty() || !QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) {
        dialogs_->Error("Can't locate file: " + page.file);
        return false;
    }
    const QByteArray bytes = file.readAll();
    const std::string absolute = Absolute(page.file);
    const bool other = absolute != currentFile_;

    currentFile_ = absolute;
    ++loads_;
    setHtml(PageText(bytes.constData(), static_cast<size_t>(bytes.size())));
    PositionAt(page.anchor);
    if (other) {
        AddHistory(page.anchor.empty() ? currentFile_ : currentFile_ + "#" + page.anchor);
        emit Navigated();
    }
    return true;
}

void THtmlView::FollowLink(const std::string& href)
{
    if (href.empty())
        return;
    const QUrl url(ToQ(href));
    if (!url.scheme().isEmpty() && !url.isLocalFile() && url.scheme().size() > 1)
        return; // a web or mail address, not a help page (one letter is a drive)

    std::string target = currentFile_;
    const std::string linkPath = FromQ(url.isLocalFile() ? url.toLocalFile() : url.path());
    if (!linkPath.empty()) {
        const std::filesystem::path p(linkPath);
        target = p.is_absolute() || currentFile_.empty()
                     ? Absolute(linkPath)
                     : (std::filesystem::path(currentFile_).parent_path() / p).lexically_normal().string();
    }
    const std::string anchor = FromQ(url.fragment(QUrl::FullyDecoded));

    // The link followed is the one under the pointer, also when it was
    // chosen with the keyboard.
    hoverLink_ = href;
    if (target == currentFile_ && !currentFile_.empty()) {
        PositionAt(anchor);
        AddHistory(anchor.empty() ? currentFile_ : currentFile_ + "#" + anchor);
        emit Navigated();
        return;
    }
    LoadFile(anchor.empty() ? target : target + "#" + anchor);
}

std::string THtmlView::DocumentTitle() const { return FromQ(documentTitle()); }

void THtmlView::ScrollToTop()
{
    verticalScrollBar()->setValue(verticalScrollBar()->minimum());
    horizontalScrollBar()->setValue(horizontalScrollBar()->minimum());
}

int THtmlView::DisplayPosition(const std::string& source, size_t sourcePos) const
{
    // An empty anchor adds no character and no block, and the document
    // attaches its name to the text that follows it: parsing a copy of the
    // page with such a mark at the source position gives the position.
    QString html = PageText(source.data(), source.size(), &sourcePos);
    html.insert(static_cast<int>(sourcePos), QStringLiteral("<a name=\"") + kDisplayMark + QStringLiteral("\"></a>"));

    QTextDocument scratch;
    scratch.setDefaultFont(document()->defaultFont());
    scratch.setDefaultStyleSheet(document()->defaultStyleSheet());
    scratch.setHtml(html);
    const int at = AnchorPosition(scratch, kDisplayMark);
    return at >= 0 ? at : scratch.characterCount() - 1;
}

void THtmlView::SelectDisplayed(int position, int length)
{
    const int last = std::max(0, document()->characterCount() - 1);
    position = std::clamp(position, 0, last);
    QTextCursor cursor(document());
    cursor.setPosition(position);
    cursor.setPosition(std::clamp(position + std::max(0, length), 0, last), QTextCursor::KeepAnchor);

    const int v = verticalScrollBar()->value(), h = horizontalScrollBar()->value();
    setTextCursor(cursor);
    verticalScrollBar()->setValue(v);
    horizontalScrollBar()->setValue(h);
}

void THtmlView::SelectFromSource(const std::string& source, size_t sourcePos, int length)
{
    SelectDisplayed(DisplayPosition(source, sourcePos), length);
}

void THtmlView::ClearSelection()
{
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return;
    cursor.clearSelection();
    const int v = verticalScrollBar()->value(), h = horizontalScrollBar()->value();
    setTextCursor(cursor);
    verticalScrollBar()->setValue(v);
    horizontalScrollBar()->setValue(h);
}

std::string THtmlView::SelectedText() const
{
    return FromQ(textCursor().selectedText());
}

QVariant THtmlView::loadResource(int type, const QUrl& name)
{
    // Pictures and style sheets of a page, relative to the page's folder.
    QString local;
    if (name.isLocalFile())
        local = name.toLocalFile();
    else if (name.scheme().isEmpty() && !name.path().isEmpty())
        local = QFileInfo(ToQ(currentFile_)).absoluteDir().filePath(name.path());
    else
        return {};
    QFile file(local);
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (type == QTextDocument::HtmlResource)
        return PageText(bytes.constData(), static_cast<size_t>(bytes.size()));
    return bytes;
}

void THtmlView::keyPressEvent(QKeyEvent* event)
{
    event->ignore();
    emit KeyPressed(event);
    if (event->isAccepted())
        return;
    event->accept();
    QTextBrowser::keyPressEvent(event);
}

void THtmlView::leaveEvent(QEvent* event)
{
    hoverLink_.clear();
    QTextBrowser::leaveEvent(event);
}

void THtmlView::PositionAt(const std::string& anchor)
{
    if (anchor.empty())
        ScrollToTop();
    else
        scrollToAnchor(ToQ(anchor));
}

void THtmlView::AddHistory(const std::string& location)
{
    history_.push_back(location);
    while (history_.size() > MaxHistory)
        history_.pop_front();
}

} // namespace kestrune
