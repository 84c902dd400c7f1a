#pragma once
// Helpers for the model tests: a game installation in a temporary folder,
// counted-form byte builders and a scripted replacement chooser.

#include "core/qvstream.h"
#include "core/test_util.h"
#include "model/project.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrune::test {

inline fs::path SourceDir() { return fs::path(KESTRUNE_SOURCE_DIR); }
inline fs::path DefinitionFile() { return SourceDir() / "resources" / "qv5game.def"; }

// The counted form of a string.
inline std::string C(const std::string& s)
{
    std::string out;
    if (s.size() < 255) {
        out += static_cast<char>(s.size());
    } else {
        out += static_cast<char>(255);
        out += static_cast<char>(s.size() & 0xFF);
        out += static_cast<char>(s.size() >> 8);
    }
    return out + s;
}

inline std::string W(int v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }

// The text form of a token.
inline std::string T(const std::string& s) { return s + "\xAB"; }

// An installation: install/data/def, install/NAME.game/{def,maps}.
struct Installation {
    TempDir dir;
    fs::path data = dir / "data";
    fs::path game = dir / "demo.game";

    Installation()
    {
        fs::create_directories(data / "def");
        fs::create_directories(game / "def");
        fs::create_directories(game / "maps");
    }
    fs::path DataDef(const std::string& f) const { return data / "def" / f; }
    fs::path GameDef(const std::string& f) const { return game / "def" / f; }
    fs::path Map(const std::string& f) const { return game / "maps" / f; }
    std::string GameFolder() const { return game.string(); }
};

// A project with the definition file of the repository, not yet loaded.
inline std::unique_ptr<Project> NewProject()
{
    auto p = std::make_unique<Project>();
    p->DefinitionFile = DefinitionFile();
    return p;
}

// Answers the replacement question from a script; records the questions.
class ScriptedChooser : public TReplacementChooser {
public:
    std::vector<std::optional<int>> Answers;
    std::vector<std::string> Questions;

protected:
    std::optional<int> ShowModal(const std::string& message, const std::vector<std::string>&) override
    {
        Questions.push_back(message);
        if (Answers.empty())
            return std::nullopt;
        const std::optional<int> a = Answers.front();
        Answers.erase(Answers.begin());
        return a;
    }
};

// A simple text-form library element: name, pattern rows, params, no events.
inline std::string Element(const std::string& name, const std::vector<std::string>& rows,
                           const std::vector<std::pair<std::string, std::string>>& params = {})
{
    std::string s = T(name);
    for (const auto& r : rows)
        s += T("\r\n#" + r);
    for (const auto& [n, v] : params)
        s += T("\r\n" + n) + T(v);
    return s + T("\r\n") + T("\r\n");
}

inline std::string Library(const std::string& elements) { return elements + T("\r\n"); }

inline std::vector<std::string> Rows(int count, const std::string& row) { return std::vector<std::string>(count, row); }

} // namespace kestrune::test
