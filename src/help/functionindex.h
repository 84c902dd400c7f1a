#pragma once
// The function index of the QV5Lang help: built once by scanning the help
// folder's class pages ("<Class>.class.html"), it lists every documented
// function with its parameter text and return type, and keeps the tree the
// help window shows (one node per class page, one child per function).
// Qt-free: the window copies the tree into its own widget.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// A node of the help tree. Class nodes are top-level, function nodes are
// their children in page order.
struct THelpNode {
    std::string Text;        // class name or function name
    std::string Page;        // a class node's page file name as listed (any letter case); empty for a function
    int Data = 0;            // 0 for a class; 1 + position in FunctionParams for a function
    int Image = 0;           // 0 class without functions, 1 class with functions, 2 function
    int SelectedImage = 0;   // as Image, but 3 for a function
    int Parent = -1;         // node number of the class; -1 for a class node
    std::vector<int> Children;
    bool IsFunction() const { return Parent >= 0; }
};

// An entry of FunctionNames: the function's name and its tree node.
struct TFunctionEntry {
    std::string Name;
    int Node = -1;
};

// One function found on a page, in page order.
struct TScannedFunction {
    std::string Name;
    std::string Params;   // "(target, power)" or empty
    std::string Returns;  // "#Class", plain text, or empty
};

// The text of a help page as the scan sees it: its lines, each followed by
// CR LF (a line ends at CR LF, LF or CR). Empty when the file cannot be read.
std::string ReadPageText(const std::filesystem::path& file);

// Scans the text of a class page for function anchors
// ("<a name=functions.Name>"), their headings and "Returns" sections.
// Runs in time linear in the size of the text.
std::vector<TScannedFunction> ScanPageText(std::string_view text);

class TFunctionIndex {
public:
    // Empties the index and rebuilds it from the class pages of the folder.
    // A missing folder, or one without class pages, gives an empty index.
    void BuildFunctionIndex(const std::filesystem::path& folder);
    void Clear();

    // The folder of the last build with exactly one trailing separator.
    const std::string& HelpFolder() const { return helpFolder_; }
    // HelpFolder() followed by the file name.
    std::string PagePath(std::string_view fileName) const;
    // The path of a node's class page under the page's own file name (the
    // ending may be written in any letter case), or empty for a bad node.
    std::string ClassPagePath(int node) const;

    // Sorted by name without regard to case; entries of the same name (the
    // same function of different classes) are adjacent, in scan order.
    const std::vector<TFunctionEntry>& FunctionNames() const { return names_; }
    // Scan order; a function node's Data - 1 is its position here.
    const std::vector<std::string>& FunctionParams() const { return params_; }
    const std::vector<std::string>& FunctionReturns() const { return returns_; }

    // Every node; TopLevel() gives the class nodes in tree order.
    const std::vector<THelpNode>& Nodes() const { return nodes_; }
    const std::vector<int>& TopLevel() const { return topLevel_; }

    // The position in FunctionNames of the first entry of the name (no
    // regard to case), or -1.
    int IndexOfName(std::string_view name) const;

    // For an entry of FunctionNames: its class (the parent node's text),
    // parameter text and return type.
    const std::string& ClassOf(size_t entry) const;
    const std::string& ParamsOf(size_t entry) const;
    const std::string& ReturnsOf(size_t entry) const;

private:
    // Adds the functions of one class page under the class node; returns
    // whether the page documents any function.
    bool ScanClassPage(const std::filesystem::path& file, int classNode);

    std::string helpFolder_;
    std::vector<TFunctionEntry> names_;
    std::vector<std::string> params_;
    std::vector<std::string> returns_;
    std::vector<THelpNode> nodes_;
    std::vector<int> topLevel_;
};

} // namespace kestrune
