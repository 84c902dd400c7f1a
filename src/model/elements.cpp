#include "model/elements.h"

#include "core/definitions.h"
#include "core/qvstream.h"
#include "model/project.h"

#include <cstring>

namespace kestrune {

const char PatternAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

namespace {
constexpr int HighestColorValue = 33;

int AlphabetPosition(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return -1;
}
} // namespace

int PatternValue(char c)
{
    const int v = AlphabetPosition(c);
    return v < 0 || v > HighestColorValue ? 0 : v;
}

bool IsPatternChar(char c)
{
    const int v = AlphabetPosition(c);
    return v >= 0 && v <= HighestColorValue;
}

// -------------------------------------------------------------- TPatternCells

TPatternCells::Row* TPatternCells::Rows()
{
    if (!rows_)
        rows_.reset(new Row[Max]()); // all zero
    return rows_.get();
}

const TPatternCells::Row* TPatternCells::Zero()
{
    static const Row zero[Max] = {};
    return zero;
}

// ------------------------------------------------------------------- TPicture

TPicture::TPicture() = default;

TPicture::~TPicture() = default;

TPicture& TPicture::operator=(TImagePtr image)
{
    pending_.clear();
    image_ = std::move(image);
    return *this;
}

void TPicture::reset() { *this = TImagePtr(); }

void TPicture::Request(const Project* project, std::string path, bool elementRelative)
{
    if (project)
        pending_.push_back({project, std::move(path), elementRelative});
}

// ---------------------------------------------------------------- TListedItem

TListedItem::TListedItem(std::string defName, TListedList* owner, NoDefaultsTag)
    : DefName(std::move(defName)),
      Params(std::make_unique<TParList>(DefName)),
      Events(std::make_unique<TEventList>(DefName)),
      Owner(owner)
{
    if (const Project* p = Proj())
        Shared = p->LoadingShared;
}

TListedItem::TListedItem(std::string defName, TListedList* owner)
    : TListedItem(std::move(defName), owner, NoDefaultsTag{})
{
    // An element about to read its lists from a file would discard the
    // defaults at once, so they are only filled in for new elements.
    const Project* p = Proj();
    if (p && p->Definitions && !(owner && owner->CreatingForLoad()))
        p->Definitions->CreateDefault(DefName, *Params);
}

TListedItem::~TListedItem() = default;

Project* TListedItem::Proj() const { return Owner ? Owner->Proj : nullptr; }

bool TListedItem::LoadFromStream(TQVFileStream& stream)
{
    Name = stream.ReadHeadToken();
    if (Name.empty())
        return false;
    LoadPattern(stream);
    LoadParameters(stream, DefName);
    return true;
}

void TListedItem::LoadPattern(TQVFileStream& stream)
{
    const auto [columns, rows] = GetPatternSize();
    InvalidPatternChars = 0;
    for (int r = 0; r < rows; ++r) {
        const uint64_t mark = stream.Position();
        const std::string_view t = stream.ReadTokenView();
        std::memset(PatternCells[r], 0, sizeof PatternCells[r]);
        if (t.empty() || t[0] != '#') {
            // Not a pattern row: it opens the parameter list. This row and
            // the ones after it stay empty.
            stream.Seek(mark);
            for (int rest = r + 1; rest < rows; ++rest)
                std::memset(PatternCells[rest], 0, sizeof PatternCells[rest]);
            return;
        }
        const int given = static_cast<int>(t.size()) - 1;
        for (int c = 0; c < columns && c < given; ++c) {
            const char ch = t[static_cast<size_t>(c) + 1];
            if (!IsPatternChar(ch))
                ++InvalidPatternChars;
            PatternCells[r][c] = static_cast<uint8_t>(PatternValue(ch));
        }
    }
}

std::string TListedItem::PatternRow(int row) const
{
    const int columns = GetPatternSize().first;
    std::string s;
    s.reserve(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) {
        const int v = PatternCells[row][c];
        s += v <= HighestColorValue ? PatternAlphabet[v] : '0';
    }
    return s;
}

void TListedItem::SaveToStream(TQVFileStream& stream)
{
    if (Shared)
        return;
    stream.WriteToken(Name);
    const int rows = GetPatternSize().second;
    for (int r = 0; r < rows; ++r)
        stream.WriteToken("\r\n#" + PatternRow(r));
    SaveParameters(stream);
}

void TListedItem::LoadParameters(TQVFileStream& stream, const std::string& defName)
{
    ReadParameters(stream, defName);
    ApplyParameters();
}

void TListedItem::ReadParameters(TQVFileStream& stream, const std::string& defName)
{
    DefName = defName;
    if (const Project* p = Proj())
        Shared = p->LoadingShared;
    Params->Clear();
    Params->Name = defName;
    Params->LoadFromStream(stream);
    Events->Clear();
    Events->Name = defName;
    Events->LoadFromStream(stream);
}

void TListedItem::SaveParameters(TQVFileStream& stream)
{
    Params->SaveToStream(stream);
    Events->SaveToStream(stream);
}

void TListedItem::ApplyParameters()
{
    // ParameterChanged may set values in the list, which moves no entry,
    // but it never removes one: the entry's own texts can be handed over.
    for (int i = 0; i < Params->Count(); ++i) {
        const TPar* par = Params->Par(i);
        ParameterChanged(par->Name, par->Value);
    }
}

std::string TListedItem::BaseFolder() const
{
    const Project* p = Proj();
    if (!p)
        return {};
    return Shared ? p->DataFolder : p->ProjectFolder;
}

bool TListedItem::ParameterChanged(const std::string& name, std::string_view value)
{
    return SetPictureParameter(name, value, "image");
}

bool TListedItem::SetPictureParameter(const std::string& name, std::string_view value,
                                      const std::string& pictureParameter)
{
    const Project* p = Proj();
    if (!p || !p->PreviewPictures || !p->Definitions)
        return false;
    const TValList& defs = *p->Definitions;
    TField* f = defs.GetField(Params->Name, name);
    bool result = false;
    if (dynamic_cast<TDirField*>(f)) {
        Params->SetValue(name, value);
        TField* g = defs.GetField(Params->Name, pictureParameter);
        if (const auto* picture = dynamic_cast<const TPictureField*>(g))
            p->LoadElementPicture(Picture, picture->ResolvedFolder(*Params) + Params->GetValue(pictureParameter));
        result = true;
        f = g;
    }
    if (name != pictureParameter)
        return result;
    if (const auto* picture = dynamic_cast<const TPictureField*>(f))
        p->LoadElementPicture(Picture, picture->ResolvedFolder(*Params).append(value));
    Params->SetValue(name, value);
    return true;
}


// ---------------------------------------------------------------- TListedList

namespace {
struct FlagScope {
    bool& flag;
    explicit FlagScope(bool& f) : flag(f) { flag = true; }
    ~FlagScope() { flag = false; }
};
} // namespace

void TListedList::LoadFromStream(TQVFileStream& stream)
{
    FlagScope loading(creatingForLoad_);
    TLoadSaveList::LoadFromStream(stream);
}

std::unique_ptr<TLoadSaveItem> TListedList::CreateForLoad()
{
    FlagScope loading(creatingForLoad_);
    return CreateItem();
}

void PrepareAllPictures(TListedList& library)
{
    for (int i = 0; i < library.Count(); ++i)
        library.Element(i)->PreparePictures();
}

// ---------------------------------------------------------------------- TWall

bool TWall::ParameterChanged(const std::string& name, std::string_view value)
{
    if (name == "imageDir")
        Params->SetValue(name, value);
    return SetPictureParameter(name, value, "imageFront");
}


// ------------------------------------------------------------------- TItemDef

bool TItemDef::ParameterChanged(const std::string& name, std::string_view value)
{
    if (name != "icon")
        return false;
    std::string base(value);
    const size_t dot = base.find_last_of('.');
    const size_t slash = base.find_last_of("/\\");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        base.erase(dot);
    if (const Project* p = Proj())
        p->LoadElementPicture(Picture, "images/items/" + base + ".gif");
    return true;
}


// -------------------------------------------------------------------- TNPCDef

TNPCDef::TNPCDef(TListedList* owner)
    : TMonsterDef("1NPCDef", owner), Keywords(std::make_unique<TEventList>(DefName))
{
}

void TNPCDef::LoadParameters(TQVFileStream& stream, const std::string& defName)
{
    TMonsterDef::LoadParameters(stream, defName);
    Keywords->Clear();
    Keywords->Name = defName;
    Keywords->LoadFromStream(stream);
}

void TNPCDef::SaveParameters(TQVFileStream& stream)
{
    TMonsterDef::SaveParameters(stream);
    Keywords->SaveToStream(stream);
}

} // namespace kestrune
