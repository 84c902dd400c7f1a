#include "app/toolcommands.h"

#include "core/errors.h"
#include "core/text.h"
#include "help/functionindex.h"
#include "model/color.h"
#include "model/project.h"
#include "model/projectcheck.h"

#include <array>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <set>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

TMapRenderer mapRenderer = nullptr;

const char* const Usage =
    "usage: kestrune-tool resave PROJECT [--def FILE] [--game]\n"
    "       kestrune-tool dump   PROJECT [--def FILE] [--game]\n"
    "       kestrune-tool render PROJECT MAP OUT.png [--def FILE] [--game] [--zoom Z] [--kind K]\n"
    "                            [--direct] [--no-floors] [--select X,Y,SIDE] [--face RRGGBB]\n"
    "       kestrune-tool check  PROJECT [--def FILE] [--game] [--doc FOLDER] [--json]\n";

// Names a map refers to that the libraries lack resolve to no element; each
// is reported once.
class ReportingChooser : public TReplacementChooser {
public:
    explicit ReportingChooser(std::ostream& err) : err_(err) {}

protected:
    std::optional<int> ShowModal(const std::string& message, const std::vector<std::string>&) override
    {
        if (reported_.insert(message).second)
            err_ << message << '\n';
        return std::nullopt;
    }

private:
    std::ostream& err_;
    std::set<std::string> reported_;
};

struct Options {
    std::string command;
    std::string project;
    std::string definitions;
    bool game = false;
    // check
    std::string doc;
    bool json = false;
    TRenderRequest render;
};

std::optional<int> Number(const std::string& text, int low, int high)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int v = std::stoi(text);
    return v >= low && v <= high ? std::optional<int>(v) : std::nullopt;
}

std::optional<TColor> HexColour(const std::string& text)
{
    if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return std::nullopt;
    const unsigned long v = std::stoul(text, nullptr, 16);
    return RgbColor(static_cast<int>(v >> 16), static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF));
}

std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::ostream& err)
{
    Options o;
    auto fail = [&err](const std::string& message) -> std::optional<Options> {
        err << "kestrune-tool: " << message << "\n" << Usage;
        return std::nullopt;
    };
    if (args.empty()) {
        err << Usage;
        return std::nullopt;
    }
    o.command = args[0];
    const bool render = o.command == "render";
    const bool check = o.command == "check";
    if (o.command != "resave" && o.command != "dump" && !render && !check)
        return fail("unknown command \"" + o.command + "\"");
    std::vector<std::string> positional;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--game") {
            o.game = true;
        } else if (a == "--def") {
            if (!hasValue)
                return fail("--def needs a file");
            o.definitions = args[++i];
        } else if (check && a == "--doc") {
            if (!hasValue)
                return fail("--doc needs the folder of the QV5Lang help pages");
            o.doc = args[++i];
        } else if (check && a == "--json") {
            o.json = true;
        } else if (render && a == "--direct") {
            o.render.direct = true;
        } else if (render && a == "--no-floors") {
            o.render.floors = false;
        } else if (render && a == "--zoom") {
            const std::optional<int> z = hasValue ? Number(args[++i], 1, 6) : std::nullopt;
            if (!z)
                return fail("--zoom needs a zoom from 1 to 6");
            o.render.zoom = *z;
        } else if (render && a == "--kind") {
            const std::optional<int> k = hasValue ? Number(args[++i], 0, 7) : std::nullopt;
            if (!k)
                return fail("--kind needs a browser kind from 0 to 7");
            o.render.kind = *k;
        } else if (render && a == "--select") {
            const std::string v = hasValue ? args[++i] : std::string();
            const size_t c1 = v.find(','), c2 = c1 == std::string::npos ? c1 : v.find(',', c1 + 1);
            std::optional<int> x, y, side;
            if (c2 != std::string::npos) {
                x = Number(v.substr(0, c1), 0, 255);
                y = Number(v.substr(c1 + 1, c2 - c1 - 1), 0, 255);
                side = Number(v.substr(c2 + 1), 0, 3);
            }
            if (!x || !y || !side)
                return fail("--select needs X,Y,SIDE (cells 0 to 255, sides 0 to 3)");
            o.render.select = std::array<int, 3>{*x, *y, *side};
        } else if (render && a == "--face") {
            const std::optional<TColor> face = hasValue ? HexColour(args[++i]) : std::nullopt;
            if (!face)
                return fail("--face needs a colour written RRGGBB in hexadecimal");
            o.render.face = *face;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return fail("unknown option \"" + a + "\"");
        } else {
            positional.push_back(a);
        }
    }
    const size_t wanted = render ? 3 : 1;
    if (positional.size() < wanted)
        return fail(render ? "render needs PROJECT, MAP and OUT.png" : "no project given");
    if (positional.size() > wanted)
        return fail("too many arguments");
    o.project = positional[0];
    if (render) {
        o.render.map = positional[1];
        o.render.out = positional[2];
    }
    return o;
}

void Pairs(const TParList& list, std::ostream& out)
{
    out << '[';
    for (int i = 0; i < list.Count(); ++i) {
        if (i)
            out << ", ";
        out << '[' << JsonString(list.Par(i)->Name) << ", " << JsonString(list.Par(i)->Value) << ']';
    }
    out << ']';
}

void Element(const TListedItem& e, std::ostream& out)
{
    out << "{\"name\": " << JsonString(e.Name) << ", \"shared\": " << (e.Shared ? "true" : "false")
        << ", \"pattern\": [";
    const int rows = e.GetPatternSize().second;
    for (int r = 0; r < rows; ++r)
        out << (r ? ", " : "") << JsonString(e.PatternRow(r));
    out << "], \"params\": ";
    Pairs(*e.Params, out);
    out << ", \"events\": ";
    Pairs(*e.Events, out);
    if (const auto* npc = dynamic_cast<const TNPCDef*>(&e)) {
        out << ", \"keywords\": ";
        Pairs(*npc->Keywords, out);
    }
    out << '}';
}

void Library(const char* key, const TListedList& library, std::ostream& out)
{
    out << "    " << JsonString(key) << ": [";
    for (int i = 0; i < library.Count(); ++i) {
        out << (i ? ",\n      " : "\n      ");
        Element(*library.Element(i), out);
    }
    out << (library.Count() ? "\n    ]" : "]");
}

void Monster(const TMonster& m, std::ostream& out)
{
    out << "{\"name\": " << JsonString(m.Name) << ", \"left\": " << m.Left << ", \"top\": " << m.Top
        << ", \"right\": " << m.Right << ", \"bottom\": " << m.Bottom << ", \"params\": ";
    Pairs(*m.Params, out);
    out << ", \"events\": ";
    Pairs(*m.Events, out);
    if (const auto* npc = dynamic_cast<const TNPC*>(&m)) {
        out << ", \"keywords\": ";
        Pairs(*npc->Keywords, out);
    }
    out << '}';
}

void Map(const TMap& map, std::ostream& out)
{
    out << "{\"name\": " << JsonString(map.Name) << ", \"sizeX\": " << map.SizeX << ", \"sizeY\": " << map.SizeY
        << ",\n     \"cells\": [";
    bool first = true;
    for (int x = 0; x < map.SizeX; ++x)
        for (int y = 0; y < map.SizeY; ++y) {
            const TMapCell& c = map.Cell(x, y);
            if (c.Empty())
                continue;
            out << (first ? "" : ", ") << '[' << x << ", " << y << ", [" << int(c.Wall(0)) << ", " << int(c.Wall(1))
                << ", " << int(c.Wall(2)) << ", " << int(c.Wall(3)) << "], " << int(c.Floor()) << ", "
                << int(c.Ceiling()) << ", " << int(c.ObjectIndex()) << ", " << int(c.Orientation()) << ", "
                << c.ItemCount << ']';
            first = false;
        }
    out << "],\n     \"items\": [";
    for (int i = 0; i < map.Items->Count(); ++i) {
        const TItem* item = map.Items->ItemAt(i);
        out << (i ? ", " : "") << "{\"name\": " << JsonString(item->Name) << ", \"x\": " << item->X
            << ", \"y\": " << item->Y << ", \"params\": ";
        Pairs(*item->Params, out);
        out << ", \"events\": ";
        Pairs(*item->Events, out);
        out << '}';
    }
    out << "],\n     \"monsters\": [";
    for (int i = 0; i < map.Monsters->Count(); ++i) {
        out << (i ? ", " : "");
        Monster(*map.Monsters->MonsterAt(i), out);
    }
    out << "],\n     \"params\": ";
    Pairs(*map.Params, out);
    out << ",\n     \"events\": ";
    Pairs(*map.Events, out);
    out << '}';
}

void OptionalPairs(const TParList* list, std::ostream& out)
{
    if (list)
        Pairs(*list, out);
    else
        out << "null";
}

// The check command: every problem of the loaded project on out, as lines
// or as one JSON object; 0 when there is none, 3 when there are.
int CheckCommand(const Project& project, const TFunctionIndex* functions, bool json, std::ostream& out,
                 std::ostream& err)
{
    TCheckOptions options;
    options.functions = functions;
    const std::vector<TProblem> problems = CheckProject(project, options);
    if (json) {
        out << ProblemsJson(problems);
    } else {
        for (const TProblem& problem : problems)
            out << ProblemLine(problem) << '\n';
    }
    out.flush();
    if (!out) {
        err << "kestrune-tool: cannot write the output\n";
        return 1;
    }
    return problems.empty() ? 0 : 3;
}

} // namespace

void SetMapRenderer(TMapRenderer renderer) { mapRenderer = renderer; }

void DumpProject(const Project& p, std::ostream& out)
{
    out << "{\n  \"libraries\": {\n";
    const std::pair<const char*, const TListedList*> libraries[] = {
        {"walls", p.Walls.get()},          {"floors", p.Floors.get()}, {"ceilings", p.Ceilings.get()},
        {"objects", p.Objects.get()},      {"items", p.ItemDefs.get()}, {"monsters", p.MonsterDefs.get()},
        {"npcs", p.NpcDefs.get()}};
    for (const auto& [key, library] : libraries) {
        if (key != libraries[0].first)
            out << ",\n";
        Library(key, *library, out);
    }
    out << "\n  },\n  \"maps\": [";
    for (int i = 0; i < p.Maps->Count(); ++i) {
        out << (i ? ",\n    " : "\n    ");
        Map(*p.Maps->MapAt(i), out);
    }
    out << (p.Maps->Count() ? "\n  ],\n  \"npcs\": [" : "],\n  \"npcs\": [");
    for (int i = 0; i < p.Npcs->Count(); ++i) {
        out << (i ? ",\n    " : "\n    ");
        Monster(*p.Npcs->NpcAt(i), out);
    }
    out << (p.Npcs->Count() ? "\n  ],\n  \"sharedNames\": " : "],\n  \"sharedNames\": ");
    OptionalPairs(p.SharedNames.get(), out);
    out << ",\n  \"projectNames\": ";
    OptionalPairs(p.ProjectNames.get(), out);
    out << ",\n  \"gameParams\": ";
    OptionalPairs(p.GameParams.get(), out);
    out << ",\n  \"mapColors\": [";
    for (int i = 0; i < Project::ColorCount; ++i)
        out << (i ? ", " : "") << p.MapColors[static_cast<size_t>(i)];
    out << "]\n}\n";
}

int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool leaveProject)
{
    const std::optional<Options> o = ParseArguments(args, err);
    if (!o)
        return 1;
    try {
        std::error_code ec;
        if (!fs::is_directory(fs::path(o->project), ec)) {
            err << "The project folder " << o->project << " does not exist.\n";
            return 1;
        }
        std::optional<TFunctionIndex> functions;
        if (o->command == "check" && !o->doc.empty()) {
            if (!fs::is_directory(fs::path(o->doc), ec)) {
                err << "The help folder " << o->doc << " does not exist.\n";
                return 1;
            }
            functions.emplace();
            functions->BuildFunctionIndex(fs::path(o->doc));
            if (functions->FunctionNames().empty()) {
                err << "The help folder " << o->doc
                    << " documents no function: it holds no class pages (NAME.class.html) with functions.\n";
                return 1;
            }
        }
        ReportingChooser chooser(err);
        auto owned = std::make_unique<Project>();
        Project& project = *owned;
        // A process that ends right after the command leaves the project to
        // the system: freeing it object by object only costs time.
        struct Leave {
            std::unique_ptr<Project>& project;
            bool on;
            ~Leave()
            {
                if (on)
                    (void)project.release();
            }
        } leave{owned, leaveProject};
        if (!o->definitions.empty())
            project.DefinitionFile = o->definitions;
        project.DataEditMode = o->game;
        project.LibMode = o->game;
        project.CurrentKind = o->game ? 1 : 0;
        // The check asks nothing and reports nothing on its own: names the
        // libraries lack are problems it lists.
        project.Chooser = o->command == "check" ? nullptr : &chooser;
        project.FaceColor = o->render.face;
        project.Load(o->project);
        if (o->command == "check")
            return CheckCommand(project, functions ? &*functions : nullptr, o->json, out, err);
        for (const std::string& warning : project.Warnings)
            err << warning << '\n';
        if (o->command == "resave") {
            project.Save();
        } else if (o->command == "render") {
            if (!mapRenderer) {
                err << "kestrune-tool: this program does not draw; render runs in " << DrawingProgram << ".\n";
                return 1;
            }
            if (!mapRenderer(project, o->render, err))
                return 1;
        } else {
            DumpProject(project, out);
            out.flush();
            if (!out) {
                err << "kestrune-tool: cannot write the output\n";
                return 1;
            }
        }
    } catch (const std::exception& e) {
        err << e.what() << '\n';
        return 1;
    }
    return 0;
}

} // namespace kestrune
