#include "model_test_util.h"

#include "core/definitions.h"

#include <gtest/gtest.h>

#include <QImage>

namespace kestrune::test {
namespace {

// A 1 x 1 GIF whose single pixel is red.
const std::string RedGif = Bytes("47 49 46 38 39 61 01 00 01 00 80 00 00 FF 00 00 00 00 00 2C 00 00 00 00 "
                                 "01 00 01 00 00 02 02 44 01 00 3B");

std::string SaveLibrary(TListedList& library)
{
    TQVFileStream out{TFileStream::MemoryTag{}};
    library.SaveToStream(out);
    return out.Bytes();
}

void LoadLibrary(TListedList& library, const std::string& bytes)
{
    TQVFileStream in{TFileStream::MemoryTag{}, bytes};
    library.LoadFromStream(in);
}

TEST(ElementRecord, FloorWithOneParameterIsWrittenByteForByte)
{
    Project p;
    p.LoadingShared = false;
    TFloors floors(&p);
    auto* f = static_cast<TListedItem*>(floors.Add(floors.CreateItem()));
    f->Name = "F1";
    f->Params->SetValue("image", "f.png");

    std::string expected = "F1\xAB";
    for (int r = 0; r < 11; ++r)
        expected += "\r\n#00000000000\xAB";
    expected += "\r\nimage\xAB" "f.png\xAB" "\r\n\xAB" "\r\n\xAB" "\r\n\xAB";
    EXPECT_EQ(Hex(SaveLibrary(floors)), Hex(expected));
}

TEST(ElementRecord, WallRowsReadLettersAndWriteThemBack)
{
    Project p;
    p.LoadingShared = false;
    TWalls walls(&p);
    const std::string file =
        Library(Element("W", {"00000000000", "0000000000A", "00000000001", "1234567890A"}, {{"door", "T"}}));
    LoadLibrary(walls, file);
    ASSERT_EQ(walls.Count(), 1);
    const TListedItem* w = walls.Element(0);
    EXPECT_EQ(w->PatternCells[1][10], 10);
    EXPECT_EQ(w->PatternCells[2][10], 1);
    EXPECT_EQ(w->PatternCells[3][0], 1);
    EXPECT_EQ(w->PatternCells[3][9], 0);
    EXPECT_EQ(w->Params->GetValue("door"), "T");
    EXPECT_EQ(Hex(SaveLibrary(walls)), Hex(file));
}

TEST(ElementRecord, ShortLongMissingAndInvalidPatternRows)
{
    Project p;
    p.LoadingShared = false;
    TFloors floors(&p);
    // No rows at all: the parameters are read as such.
    LoadLibrary(floors, Library(Element("Bare", {}, {{"image", "a.png"}})) );
    ASSERT_EQ(floors.Count(), 1);
    for (const auto& row : floors.Element(0)->PatternCells)
        for (uint8_t v : row)
            EXPECT_EQ(v, 0);
    EXPECT_EQ(floors.Element(0)->Params->GetValue("image"), "a.png");

    // Two rows given, the first short and the second long; the rest missing.
    TFloors second(&p);
    LoadLibrary(second, Library(Element("Part", {"12", "123456789ABCDEF"}, {{"x", "1"}})));
    ASSERT_EQ(second.Count(), 1);
    const TListedItem* e = second.Element(0);
    EXPECT_EQ(e->PatternCells[0][0], 1);
    EXPECT_EQ(e->PatternCells[0][1], 2);
    EXPECT_EQ(e->PatternCells[0][2], 0);
    EXPECT_EQ(e->PatternCells[1][10], 11); // 'B'; the characters after the 11th are ignored
    EXPECT_EQ(e->PatternCells[2][0], 0);
    EXPECT_EQ(e->Params->GetValue("x"), "1");
    EXPECT_EQ(e->PatternRow(0), "12000000000");

    // Characters outside the alphabet and Y, Z read as 0 and are counted.
    TFloors third(&p);
    LoadLibrary(third, Library(Element("Bad", {"aXYZ!1"})));
    ASSERT_EQ(third.Count(), 1);
    EXPECT_EQ(third.Element(0)->PatternCells[0][0], 0);
    EXPECT_EQ(third.Element(0)->PatternCells[0][1], 33);
    EXPECT_EQ(third.Element(0)->PatternCells[0][2], 0);
    EXPECT_EQ(third.Element(0)->PatternCells[0][3], 0);
    EXPECT_EQ(third.Element(0)->PatternCells[0][5], 1);
    EXPECT_EQ(third.Element(0)->InvalidPatternChars, 4);
}

TEST(ElementRecord, SharedElementsAreNotWrittenNewOnesAre)
{
    Project p; // LoadingShared is true until the project's own libraries load
    TObjects objects(&p);
    LoadLibrary(objects, Library(Element("Chest", Rows(11, "00000000000"))));
    ASSERT_EQ(objects.Count(), 1);
    EXPECT_TRUE(objects.Element(0)->Shared);
    p.LoadingShared = false;
    auto* made = static_cast<TListedItem*>(objects.Add(objects.CreateItem()));
    made->Name = "Barrel";
    EXPECT_FALSE(made->Shared);
    const std::string saved = SaveLibrary(objects);
    EXPECT_EQ(saved.find("Chest"), std::string::npos);
    EXPECT_EQ(saved.rfind("Barrel\xAB", 0), 0u);
}

TEST(ElementRecord, NpcDefinitionsCarryKeywordsAndNoPattern)
{
    Project p;
    p.LoadingShared = false;
    TNPCsDef npcs(&p);
    const std::string file = T("Mira") + T("\r\ntitle") + T("healer") + T("\r\n") + T("\r\nonTalk") +
                             T("Say(1);") + T("\r\n") + T("\r\nhello") + T("Greetings.") + T("\r\n") + T("\r\n");
    LoadLibrary(npcs, file);
    ASSERT_EQ(npcs.Count(), 1);
    auto* mira = static_cast<TNPCDef*>(npcs.Element(0));
    EXPECT_EQ(mira->Keywords->GetValue("hello"), "Greetings.");
    EXPECT_EQ(mira->Events->GetValue("onTalk"), "Say(1);");
    EXPECT_EQ(Hex(SaveLibrary(npcs)), Hex(file));
}

TEST(ElementDefaults, NewElementsTakeTheirSectionsDefaultsLoadedOnesDoNot)
{
    auto p = NewProject();
    p->Definitions = std::make_unique<TValList>(DefinitionFile());
    p->LoadingShared = false;
    auto monster = p->MonsterDefs->CreateItem();
    auto* m = static_cast<TListedItem*>(monster.get());
    EXPECT_EQ(m->Params->GetValue("hitPoints"), "10");
    EXPECT_EQ(m->Params->GetValue("image"), "monster.png");
    EXPECT_EQ(m->Params->Name, "1monsterDef");

    // A stored element keeps exactly what its record holds.
    LoadLibrary(*p->MonsterDefs, Library(Element("Rat", {}, {{"hitPoints", "3"}})));
    ASSERT_EQ(p->MonsterDefs->Count(), 1);
    EXPECT_EQ(p->MonsterDefs->Element(0)->Params->Count(), 1);
}

class PictureRules : public ::testing::Test {
protected:
    void SetUp() override
    {
        project = NewProject();
        project->Load(inst.GameFolder());
        ASSERT_TRUE(project->LoadComplete());
    }
    void WritePng(const fs::path& path, QColor colour)
    {
        fs::create_directories(path.parent_path());
        QImage image(2, 2, QImage::Format_ARGB32);
        image.fill(colour);
        ASSERT_TRUE(image.save(QString::fromStdString(path.string()), "PNG"));
    }
    Installation inst;
    std::unique_ptr<Project> project;
};

TEST_F(PictureRules, ChangingThePictureParameterLoadsThePicture)
{
    WritePng(inst.data / "images" / "floors" / "moss.png", Qt::green);
    auto* floor = static_cast<TListedItem*>(project->Floors->Add(project->Floors->CreateItem()));
    EXPECT_TRUE(floor->ParameterChanged("image", "moss.png"));
    ASSERT_TRUE(floor->Picture);
    ASSERT_FALSE(floor->Picture->isNull());
    EXPECT_EQ(floor->Picture->pixelColor(0, 0), QColor(Qt::green));
    EXPECT_EQ(floor->Params->GetValue("image"), "moss.png");

    // A file that is not there keeps the picture that was shown.
    EXPECT_TRUE(floor->ParameterChanged("image", "none.png"));
    ASSERT_TRUE(floor->Picture);
    EXPECT_FALSE(floor->Picture->isNull());

    // Other parameters leave the picture alone.
    EXPECT_FALSE(floor->ParameterChanged("walkable", "F"));
}

TEST_F(PictureRules, PreviewOffLoadsNothing)
{
    WritePng(inst.data / "images" / "floors" / "moss.png", Qt::green);
    project->PreviewPictures = false;
    auto* floor = static_cast<TListedItem*>(project->Floors->Add(project->Floors->CreateItem()));
    EXPECT_FALSE(floor->ParameterChanged("image", "moss.png"));
    EXPECT_FALSE(floor->Picture);
}

TEST_F(PictureRules, WallFolderChangeReloadsTheFrontPicture)
{
    WritePng(inst.game / "images" / "walls" / "brick" / "front.png", Qt::red);
    auto* wall = static_cast<TListedItem*>(project->Walls->Add(project->Walls->CreateItem()));
    ASSERT_EQ(wall->Params->GetValue("imageFront"), "front.png"); // the default
    EXPECT_TRUE(wall->ParameterChanged("imageDir", "brick"));
    EXPECT_EQ(wall->Params->GetValue("imageDir"), "brick");
    ASSERT_TRUE(wall->Picture);
    EXPECT_EQ(wall->Picture->pixelColor(1, 1), QColor(Qt::red));
}

TEST_F(PictureRules, ItemIconLooksForTheGifOfTheSameNameInProjectThenData)
{
    fs::create_directories(inst.data / "images" / "items");
    WriteFile(inst.data / "images" / "items" / "sword.gif", RedGif);
    project->PreviewPictures = false; // the icon rule does not depend on it
    auto* def = static_cast<TListedItem*>(project->ItemDefs->Add(project->ItemDefs->CreateItem()));
    const std::string before = def->Params->GetValue("icon");
    EXPECT_TRUE(def->ParameterChanged("icon", "sword.png"));
    ASSERT_TRUE(def->Picture);
    ASSERT_FALSE(def->Picture->isNull());
    EXPECT_EQ(def->Picture->pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(def->Params->GetValue("icon"), before); // not stored here
    EXPECT_FALSE(def->ParameterChanged("image", "x.png"));

    // The project's own icon wins over the data folder's.
    fs::create_directories(inst.game / "images" / "items");
    WriteFile(inst.game / "images" / "items" / "sword.gif", Bytes("47 49 46 38 39 61 01 00 01 00 80 00 00 00 00 FF "
                                                                    "00 00 00 2C 00 00 00 00 01 00 01 00 00 02 02 44 "
                                                                    "01 00 3B"));
    EXPECT_TRUE(def->ParameterChanged("icon", "sword"));
    ASSERT_TRUE(def->Picture);
    EXPECT_EQ(def->Picture->pixelColor(0, 0), QColor(Qt::blue));
}

TEST_F(PictureRules, DamagedOrUnknownPicturesLeaveNoPicture)
{
    fs::create_directories(inst.data / "images" / "floors");
    WriteFile(inst.data / "images" / "floors" / "broken.png", "\x89PNG\r\n\x1a\n garbage");
    WriteFile(inst.data / "images" / "floors" / "tile.tga", std::string(64, '\0'));
    auto* floor = static_cast<TListedItem*>(project->Floors->Add(project->Floors->CreateItem()));
    floor->ParameterChanged("image", "broken.png");
    EXPECT_FALSE(floor->Picture);
    floor->ParameterChanged("image", "tile.tga");
    EXPECT_FALSE(floor->Picture);
}

TEST_F(PictureRules, RequestsAreCarriedOutInOrderWhenThePictureIsUsed)
{
    WritePng(inst.data / "images" / "floors" / "a.png", Qt::green);
    fs::create_directories(inst.data / "images" / "floors");
    WriteFile(inst.data / "images" / "floors" / "bad.png", "not a picture");
    auto* floor = static_cast<TListedItem*>(project->Floors->Add(project->Floors->CreateItem()));

    floor->ParameterChanged("image", "a.png");
    EXPECT_TRUE(floor->Picture.HasPendingRequests()); // nothing decoded yet
    floor->ParameterChanged("image", "missing.png");
    ASSERT_TRUE(floor->Picture);
    EXPECT_FALSE(floor->Picture.HasPendingRequests());
    EXPECT_EQ(floor->Picture->pixelColor(0, 0), QColor(Qt::green));

    floor->ParameterChanged("image", "a.png");
    floor->ParameterChanged("image", "bad.png");
    EXPECT_FALSE(floor->Picture);

    // A damaged picture followed by a missing one leaves an empty picture.
    floor->ParameterChanged("image", "bad.png");
    floor->ParameterChanged("image", "missing.png");
    ASSERT_TRUE(floor->Picture);
    EXPECT_TRUE(floor->Picture->isNull());
}

TEST_F(PictureRules, ElementPicturePathsDropTheFrameAndOffsetPart)
{
    WritePng(inst.data / "images" / "walls" / "a.png", Qt::yellow);
    TPicture picture;
    project->LoadElementPicture(picture, "images/walls/a.png|2");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->pixelColor(0, 0), QColor(Qt::yellow));
    WritePng(inst.game / "images" / "walls" / "a.png", Qt::cyan);
    project->LoadElementPicture(picture, "images/walls/a.png,4,8|1");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->pixelColor(0, 0), QColor(Qt::cyan));
}

} // namespace
} // namespace kestrune::test
