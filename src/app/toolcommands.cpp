#include "app/toolcommands.h"

#include "core/errors.h"
#include "model/project.h"

#include <filesystem>
#include <iostream>
#include <optional>
#include <set>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

const char* const Usage =
    "usage: kestrune-tool resave PROJECT [--def FILE] [--game]\n"
    "       kestrune-tool dump   PROJECT [--def FILE] [--game]\n";

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
};

std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::ostream& err)
{
    Options o;
    if (args.empty()) {
        err << Usage;
        return std::nullopt;
    }
    o.command = args[0];
    if (o.command != "resave" && o.command != "dump") {
        err << "kestrune-tool: unknown command \"" << o.command << "\"\n" << Usage;
        return std::nullopt;
    }
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--game") {
            o.game = true;
        } else if (a == "--def") {
            if (i + 1 >= args.size()) {
                err << "kestrune-tool: --def needs a file\n" << Usage;
                return std::nullopt;
            }
            o.definitions = args[++i];
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            err << "kestrune-tool: unknown option \"" << a << "\"\n" << Usage;
            return std::nullopt;
        } else if (o.project.empty()) {
            o.project = a;
        } else {
            err << "kestrune-tool: more than one project given\n" << Usage;
            return std::nullopt;
        }
    }
    if (o.project.empty()) {
        err << "kestrune-tool: no project given\n" << Usage;
        return std::nullopt;
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

} // namespace

std::string JsonString(const std::string& bytes)
{
    static const char hex[] = "0123456789abcdef";
    std::string s = "\"";
    s.reserve(bytes.size() + 2);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': s += "\\\""; break;
        case '\\': s += "\\\\"; break;
        case '\n': s += "\\n"; break;
        case '\r': s += "\\r"; break;
        case '\t': s += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                s += "\\u00";
                s += hex[c >> 4];
                s += hex[c & 15];
            } else {
                s += ch;
            }
        }
    }
    s += '"';
    return s;
}

void DumpProject(const Project& p, std::ostream& out)
{
    out << "{\n  \"libraries\": {\n";
    Library("walls", *p.Walls, out);
    out << ",\n";
    Library("floors", *p.Floors, out);
    out << ",\n";
    Library("ceilings", *p.Ceilings, out);
    out << ",\n";
    Library("objects", *p.Objects, out);
    out << ",\n";
    Library("items", *p.ItemDefs, out);
    out << ",\n";
    Library("monsters", *p.MonsterDefs, out);
    out << ",\n";
    Library("npcs", *p.NpcDefs, out);
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

int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
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
        ReportingChooser chooser(err);
        Project project;
        if (!o->definitions.empty())
            project.DefinitionFile = o->definitions;
        project.DataEditMode = o->game;
        project.LibMode = o->game;
        project.CurrentKind = o->game ? 1 : 0;
        project.Chooser = &chooser;
        project.Load(o->project);
        for (const std::string& warning : project.Warnings)
            err << warning << '\n';
        if (o->command == "resave") {
            project.Save();
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
