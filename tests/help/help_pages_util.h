#pragma once
// Help pages written by tests: a function's section as the index scan
// reads it, a link to a class page, and writing a page to a file.

#include <filesystem>
#include <fstream>
#include <string>

namespace kestrune::test {

// A function anchor with its heading, a description and, when given, a
// "Returns" section.
inline std::string Function(const std::string& name, const std::string& params, const std::string& returns)
{
    std::string s = "<hr>\n<a name=functions." + name + "></a><b>" + name + "</b>" +
                    (params.empty() ? "" : " " + params) + "\n<ul>\nDoes things.\n</ul>\n";
    if (!returns.empty())
        s += "<b>Returns</b><ul>" + returns + "</ul>\n";
    return s;
}

inline std::string ClassLink(const std::string& cls)
{
    return "<a href=\"" + cls + ".class.html\">" + cls + "</a>";
}

inline void WritePage(const std::filesystem::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

} // namespace kestrune::test
