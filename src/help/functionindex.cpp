#include "help/functionindex.h"

#include "core/text.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

namespace kestrune {
namespace {

constexpr std::string_view kAnchor = "<a name=";
constexpr std::string_view kFunctionsPrefix = "functions.";
constexpr std::string_view kFunctionAnchor = "<a name=functions.";
constexpr std::string_view kReturns = "<b>Returns</b><ul>";
constexpr std::string_view kLinkOpening = "<a href=\"";
constexpr std::string_view kClassPageEnding = ".class.html";

// The first occurrence of a pattern at or after a position, for positions
// that never decrease: each search resumes where the last one stopped, so
// all searches of one page together read the page once.
class TNextFinder {
public:
    TNextFinder(std::string_view text, std::string_view pattern) : text_(text), pattern_(pattern) {}

    size_t From(size_t pos)
    {
        if (!searched_ || (found_ != std::string_view::npos && found_ < pos)) {
            found_ = text_.find(pattern_, pos);
            searched_ = true;
        }
        return found_;
    }

private:
    std::string_view text_;
    std::string_view pattern_;
    size_t found_ = std::string_view::npos;
    bool searched_ = false;
};

std::string_view TrimView(std::string_view s)
{
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 0x20)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20)
        --e;
    return s.substr(b, e - b);
}

// The parameter text of a heading that starts with the anchor: drop
// "functions." and the name, then everything up to the name's first
// occurrence, the name and the five characters after it ("</b> ").
std::string ParamsFromHeading(std::string_view heading, std::string_view name)
{
    const size_t skip = kFunctionsPrefix.size() + name.size();
    if (skip >= heading.size())
        return {};
    heading.remove_prefix(skip);
    const size_t at = heading.find(name);
    if (at == std::string_view::npos)
        return {};
    heading.remove_prefix(std::min(heading.size(), at + name.size() + 5));
    if (heading.empty() || heading.front() != '(')
        return {};
    return std::string(heading);
}

// The return type of a "Returns" section (the text after "<b>Returns</b><ul>"
// up to the next function anchor or the end of the page).
std::string ReturnTypeOf(std::string_view section)
{
    const size_t link = section.find(kLinkOpening);
    if (link == std::string_view::npos || section.substr(0, link).find("</") != std::string_view::npos)
        return std::string(TrimView(section.substr(0, section.find('<'))));
    std::string_view value = section.substr(link + kLinkOpening.size());
    value = TrimView(value.substr(0, value.find('<')));
    const size_t page = value.find(kClassPageEnding);
    if (page != std::string_view::npos)
        return "#" + std::string(TrimView(value.substr(0, page)));
    return std::string(value);
}

} // namespace

std::string ReadPageText(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string text;
    text.reserve(raw.size() + raw.size() / 16 + 2);
    size_t i = 0;
    while (i < raw.size()) {
        size_t e = i;
        while (e < raw.size() && raw[e] != '\r' && raw[e] != '\n')
            ++e;
        text.append(raw, i, e - i);
        text += "\r\n";
        if (e < raw.size() && raw[e] == '\r' && e + 1 < raw.size() && raw[e + 1] == '\n')
            ++e;
        i = e + 1;
    }
    return text;
}

std::vector<TScannedFunction> ScanPageText(std::string_view text)
{
    constexpr size_t npos = std::string_view::npos;
    std::vector<TScannedFunction> found;
    TNextFinder anchors(text, kAnchor), closers(text, ">"), blanks(text, " "), parens(text, "(");
    TNextFinder lists(text, "<ul>"), functionAnchors(text, kFunctionAnchor), returns(text, kReturns);

    for (size_t at = anchors.From(0); at != npos; at = anchors.From(at + kAnchor.size())) {
        const size_t pos = at + kAnchor.size(); // the remaining text starts here
        const size_t closer = closers.From(pos);
        if (closer == npos)
            continue;
        const size_t end = std::min({closer, blanks.From(pos), parens.From(pos)});
        const std::string_view anchor = text.substr(pos, end - pos);
        if (anchor.substr(0, kFunctionsPrefix.size()) != kFunctionsPrefix)
            continue; // also rejects empty anchors and those beginning with "#"

        TScannedFunction f;
        f.Name = std::string(anchor.substr(kFunctionsPrefix.size()));
        const size_t list = lists.From(pos);
        if (list != npos)
            f.Params = ParamsFromHeading(TrimView(text.substr(pos, list - pos)), f.Name);

        const size_t next = functionAnchors.From(pos);
        const size_t ret = returns.From(pos);
        if (ret != npos && (next == npos || ret < next)) {
            const size_t from = ret + kReturns.size();
            const size_t to = next == npos ? text.size() : next;
            f.Returns = ReturnTypeOf(text.substr(from, to - from));
        }
        found.push_back(std::move(f));
    }
    return found;
}

void TFunctionIndex::Clear()
{
    names_.clear();
    params_.clear();
    returns_.clear();
    nodes_.clear();
    topLevel_.clear();
}

std::string TFunctionIndex::PagePath(std::string_view fileName) const
{
    return helpFolder_ + std::string(fileName);
}

std::string TFunctionIndex::ClassPagePath(int node) const
{
    if (node < 0 || node >= static_cast<int>(nodes_.size()))
        return {};
    const THelpNode& n = nodes_[node];
    return PagePath(n.IsFunction() ? nodes_[n.Parent].Page : n.Page);
}

void TFunctionIndex::BuildFunctionIndex(const std::filesystem::path& folder)
{
    namespace fs = std::filesystem;
    std::string base = folder.string();
    while (!base.empty() && base.back() == fs::path::preferred_separator)
        base.pop_back();
    helpFolder_ = base + static_cast<char>(fs::path::preferred_separator);
    Clear();

    std::vector<std::string> pages;
    std::error_code ec;
    for (fs::directory_iterator it(helpFolder_, ec), last; !ec && it != last; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > kClassPageEnding.size() && EndsWithText(name, kClassPageEnding) &&
            !it->is_directory(ec))
            pages.push_back(name);
    }
    // The listing is taken in descending name order; since every class node
    // is inserted as the first top-level node, the tree lists the classes
    // alphabetically.
    std::sort(pages.begin(), pages.end(),
              [](const std::string& a, const std::string& b) { return LocaleCompare(a, b) > 0; });

    for (const std::string& page : pages) {
        THelpNode node;
        node.Text = page.substr(0, page.size() - kClassPageEnding.size());
        node.Page = page;
        node.Image = node.SelectedImage = 1;
        const int number = static_cast<int>(nodes_.size());
        nodes_.push_back(std::move(node));
        topLevel_.insert(topLevel_.begin(), number);
        if (!ScanClassPage(helpFolder_ + page, number))
            nodes_[number].Image = nodes_[number].SelectedImage = 0;
    }

    std::stable_sort(names_.begin(), names_.end(), [](const TFunctionEntry& a, const TFunctionEntry& b) {
        return LocaleCompare(a.Name, b.Name, false) < 0;
    });
}

bool TFunctionIndex::ScanClassPage(const std::filesystem::path& file, int classNode)
{
    std::vector<TScannedFunction> functions = ScanPageText(ReadPageText(file));
    for (TScannedFunction& f : functions) {
        THelpNode node;
        node.Text = f.Name;
        node.Parent = classNode;
        node.Image = 2;
        node.SelectedImage = 3;
        params_.push_back(std::move(f.Params));
        returns_.push_back(std::move(f.Returns));
        node.Data = static_cast<int>(params_.size());
        const int number = static_cast<int>(nodes_.size());
        names_.push_back({f.Name, number});
        nodes_.push_back(std::move(node));
        nodes_[classNode].Children.push_back(number);
    }
    return !functions.empty();
}

int TFunctionIndex::IndexOfName(std::string_view name) const
{
    const auto it = std::lower_bound(names_.begin(), names_.end(), name,
                                     [](const TFunctionEntry& e, std::string_view n) {
                                         return LocaleCompare(e.Name, n, false) < 0;
                                     });
    if (it == names_.end() || !SameText(it->Name, name))
        return -1;
    return static_cast<int>(it - names_.begin());
}

const std::string& TFunctionIndex::ClassOf(size_t entry) const
{
    return nodes_[nodes_[names_.at(entry).Node].Parent].Text;
}

const std::string& TFunctionIndex::ParamsOf(size_t entry) const
{
    return params_.at(nodes_[names_.at(entry).Node].Data - 1);
}

const std::string& TFunctionIndex::ReturnsOf(size_t entry) const
{
    return returns_.at(nodes_[names_.at(entry).Node].Data - 1);
}

} // namespace kestrune
