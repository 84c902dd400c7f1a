// The small windows of the shell: the configuration dialog and its settings,
// the replacement chooser, the expanded text editor, the splash and about
// window, and the toolbar pictures.

#include "core/loadsave.h"
#include "shell/config.h"
#include "shell/expandededit.h"
#include "shell/icons.h"
#include "shell/logo.h"
#include "shell/selectreplace.h"
#include "controls/settings.h"
#include "shell_test_util.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTextCursor>

#include <functional>
#include <memory>
#include <string>

namespace kestrune::test {
namespace {

QPushButton* Button(QWidget& window, const QString& caption)
{
    for (QPushButton* b : window.findChildren<QPushButton*>())
        if (b->text() == caption)
            return b;
    return nullptr;
}

void SaveScreenshot(QWidget& window, const char* name)
{
    const fs::path dir = fs::path(KESTRUNE_BUILD_DIR) / "tests";
    fs::create_directories(dir);
    EXPECT_TRUE(window.grab().save(QString::fromStdString((dir / name).string())));
}

// ------------------------------------------------------------ configuration

TEST(Config, FirstStartGivesTheDefaultsAndWritesNothing)
{
    OwnSettings settings;
    TfrmConfig config;
    const TConfigState s = config.State();
    EXPECT_FALSE(s.MapDirectDraw);
    EXPECT_TRUE(s.BigIcons);
    EXPECT_TRUE(s.PicturePreview);
    EXPECT_TRUE(s.AddParentheses);
    EXPECT_EQ(s.CompletionDelayMs, 400);
    EXPECT_EQ(config.DelayLabel->text(), "400");
    EXPECT_FALSE(fs::exists(settings.Path()));

    EXPECT_EQ(config.windowTitle(), "Configuration");
    EXPECT_EQ(config.CheckBox1->text(),
              "Map direct draw (slow but works better compability with WINE emulator on Linux)");
    EXPECT_EQ(config.CheckBox2->text(), "Big icons in main toolbar");
    EXPECT_EQ(config.CheckBox3->text(), "Add () after functions w/o parameters");
    EXPECT_EQ(config.CheckBox4->text(), "Actual selected object image preview");
    EXPECT_EQ(config.TrackBar1->minimum(), 0);
    EXPECT_EQ(config.TrackBar1->maximum(), 30);
    EXPECT_EQ(config.TrackBar1->pageStep(), 3);
    EXPECT_EQ(config.TrackBar1->tickPosition(), QSlider::TicksBelow);
    ASSERT_NE(Button(config, "Ok"), nullptr);
    EXPECT_TRUE(Button(config, "Ok")->isDefault());
    ASSERT_NE(Button(config, "Cancel"), nullptr);

    // On screen: 1, 2, 4 under "Visual editor", then 3, then the delay row.
    // 453 x 189, wider only where the font needs it for the long caption.
    config.show();
    EXPECT_EQ(config.height(), 189);
    EXPECT_GE(config.width(), 453);
    EXPECT_GE(config.CheckBox1->width(), config.CheckBox1->sizeHint().width());
    EXPECT_LT(config.CheckBox1->y(), config.CheckBox2->y());
    EXPECT_LT(config.CheckBox2->y(), config.CheckBox4->y());
    EXPECT_LT(config.CheckBox4->y(), config.CheckBox3->y());
    EXPECT_LT(config.CheckBox3->y(), config.TrackBar1->y());
    EXPECT_LT(config.TrackBar1->x(), config.DelayLabel->x());
    SaveScreenshot(config, "config.png");
    config.hide();
}

TEST(Config, OkStoresEveryValueAndTheNextDialogReadsThem)
{
    OwnSettings settings;
    {
        TfrmConfig config;
        config.CheckBox1->setChecked(true);
        config.CheckBox2->setChecked(false);
        config.CheckBox3->setChecked(false);
        config.CheckBox4->setChecked(false);
        config.TrackBar1->setValue(17);
        config.show();
        Button(config, "Ok")->click();
        EXPECT_EQ(config.result(), QDialog::Accepted);
        EXPECT_FALSE(config.isVisible());
    }
    const std::string text = ReadFile(settings.Path());
    for (const char* line : {"CheckBox1=1", "CheckBox2=0", "CheckBox3=0", "CheckBox4=0", "TrackBar1=17"})
        EXPECT_NE(text.find(line), std::string::npos) << line;

    TfrmConfig again;
    const TConfigState s = again.State();
    EXPECT_TRUE(s.MapDirectDraw);
    EXPECT_FALSE(s.BigIcons);
    EXPECT_FALSE(s.AddParentheses);
    EXPECT_FALSE(s.PicturePreview);
    EXPECT_EQ(s.CompletionDelayMs, 1700);
    EXPECT_EQ(again.DelayLabel->text(), "1700");
}

TEST(Config, UnreadableValuesGiveDefaultsAndPositionsAreClamped)
{
    OwnSettings settings;
    auto write = [](const char* name, const char* value) {
        auto s = TSettings::OpenSettings();
        s->WriteString("qv5editor\\config", name, value);
        s->CloseSettings();
    };
    write("CheckBox1", "yes");
    write("CheckBox2", "0");
    write("CheckBox4", "7");
    write("TrackBar1", "99");
    TfrmConfig config;
    EXPECT_FALSE(config.CheckBox1->isChecked());
    EXPECT_FALSE(config.CheckBox2->isChecked());
    EXPECT_TRUE(config.CheckBox3->isChecked());
    EXPECT_TRUE(config.CheckBox4->isChecked());
    EXPECT_EQ(config.TrackBar1->value(), 30);
    EXPECT_EQ(config.DelayLabel->text(), "3000");

    write("TrackBar1", "-5");
    config.LoadOptions();
    EXPECT_EQ(config.TrackBar1->value(), 0);
    EXPECT_EQ(config.DelayLabel->text(), "0");
}

TEST(Config, CancelAndClosingStoreNothing)
{
    OwnSettings settings;
    {
        TfrmConfig first;
        first.TrackBar1->setValue(9);
        first.Accept();
    }
    const std::string before = ReadFile(settings.Path());
    TfrmConfig config;
    for (QCheckBox* box : {config.CheckBox1, config.CheckBox2, config.CheckBox3, config.CheckBox4})
        box->toggle();
    config.TrackBar1->setValue(0);
    config.show();
    Button(config, "Cancel")->click();
    EXPECT_EQ(config.result(), QDialog::Rejected);
    EXPECT_EQ(ReadFile(settings.Path()), before);

    config.show();
    config.close();
    EXPECT_EQ(ReadFile(settings.Path()), before);
    EXPECT_EQ(TfrmConfig().State().CompletionDelayMs, 900);
}

TEST(Config, TrackBarLabelFollowsEveryMove)
{
    OwnSettings settings;
    TfrmConfig config;
    config.TrackBar1->setValue(0);
    EXPECT_EQ(config.DelayLabel->text(), "0");
    config.TrackBar1->setValue(30);
    EXPECT_EQ(config.DelayLabel->text(), "3000");
    config.TrackBar1->setValue(4);
    config.TrackBar1->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(config.DelayLabel->text(), "700");
    EXPECT_EQ(config.State().CompletionDelayMs, 700);
}

TEST(Config, StateGoesIntoTheRightControlsAndBack)
{
    OwnSettings settings;
    TfrmConfig config;
    // One option at a time, so that two swapped boxes cannot pass.
    for (int which = 0; which < 4; ++which) {
        TConfigState in;
        in.MapDirectDraw = which == 0;
        in.BigIcons = which == 1;
        in.PicturePreview = which == 2;
        in.AddParentheses = which == 3;
        in.CompletionDelayMs = 1250;
        config.SetFromState(in);
        const TConfigState out = config.State();
        EXPECT_EQ(out.MapDirectDraw, in.MapDirectDraw) << which;
        EXPECT_EQ(out.BigIcons, in.BigIcons) << which;
        EXPECT_EQ(out.PicturePreview, in.PicturePreview) << which;
        EXPECT_EQ(out.AddParentheses, in.AddParentheses) << which;
        EXPECT_EQ(out.CompletionDelayMs, 1200); // whole hundreds only
        EXPECT_EQ(config.DelayLabel->text(), "1200");
    }
    EXPECT_FALSE(fs::exists(settings.Path())); // taking the state in is not storing it
}

// ------------------------------------------------------------ select replace

class TTestItem : public TLoadSaveItem {
public:
    bool LoadFromStream(TQVFileStream&) override { return false; }
    void SaveToStream(TQVFileStream&) override {}
};

class TTestLibrary : public TLibraryList {
public:
    explicit TTestLibrary(std::initializer_list<const char*> names)
    {
        for (const char* name : names) {
            auto item = CreateItem();
            item->Name = name;
            Add(std::move(item));
        }
    }
    std::unique_ptr<TLoadSaveItem> CreateItem() override { return std::make_unique<TTestItem>(); }
};

// The window with the modal run replaced by scripted clicks.
class TScriptedForm2 : public TForm2 {
public:
    std::function<void(TForm2&)> Act;
    int Shown = 0;

protected:
    int RunModal() override
    {
        ++Shown;
        setResult(QDialog::Rejected);
        if (Act)
            Act(*this);
        return result();
    }
};

TEST(SelectReplace, UseThisGivesThePositionOfTheChosenName)
{
    TScriptedForm2 form;
    TTestLibrary walls{"Stone", "Brick", "M\xF6ss"};
    form.Act = [](TForm2& f) {
        f.ListBox->setCurrentRow(2);
        f.UseThisButton->click();
    };
    EXPECT_EQ(form.Ask("Wall", "Granite", walls), 2);
    EXPECT_EQ(form.windowTitle(), "Select replace");
    EXPECT_EQ(form.MessageLabel->text(), "Wall with name Granite doesn't exists!");
    EXPECT_EQ(form.ChooseLabel->text(), "Choose replacement:");
    ASSERT_EQ(form.ListBox->count(), 3); // library order, not sorted
    EXPECT_EQ(form.ListBox->item(0)->text(), "Stone");
    EXPECT_EQ(form.ListBox->item(2)->text(), QString::fromLatin1("M\xF6ss"));
    EXPECT_EQ(form.UseThisButton->text(), "Use this");
    EXPECT_TRUE(form.UseThisButton->isDefault());
    EXPECT_EQ(form.NoneButton->text(), "None");
    EXPECT_EQ(form.RemoveAllBox->text(), "Remove all missing");
    EXPECT_FALSE(form.RemoveAllMissing);

    // The next question starts without a selection and with the new list.
    TTestLibrary floors{"Grass", "Sand"};
    form.Act = [](TForm2& f) { f.UseThisButton->click(); };
    EXPECT_EQ(form.Ask("Floor", "Mud", floors), -1);
    EXPECT_EQ(form.ListBox->count(), 2);
    EXPECT_EQ(form.MessageLabel->text(), "Floor with name Mud doesn't exists!");
}

TEST(SelectReplace, NoneOrClosingGivesNoElement)
{
    TScriptedForm2 form;
    TTestLibrary walls{"Stone", "Brick"};
    form.Act = [](TForm2& f) {
        f.ListBox->setCurrentRow(1);
        f.NoneButton->click();
    };
    EXPECT_EQ(form.Ask("Wall", "Granite", walls), -1);
    form.Act = [](TForm2& f) {
        f.ListBox->setCurrentRow(0);
        f.reject(); // the window's close box
    };
    EXPECT_EQ(form.Ask("Wall", "Granite", walls), -1);
    EXPECT_EQ(form.Shown, 2);
    EXPECT_FALSE(form.RemoveAllMissing);
}

TEST(SelectReplace, RemoveAllMissingStopsEveryLaterQuestion)
{
    TScriptedForm2 form;
    TTestLibrary walls{"Stone"};
    TTestLibrary objects{"Lever"};
    form.Act = [](TForm2& f) {
        f.ListBox->setCurrentRow(0);
        f.RemoveAllBox->setChecked(true);
        f.UseThisButton->click();
    };
    EXPECT_EQ(form.Ask("Wall", "Granite", walls), 0); // this answer still counts
    EXPECT_TRUE(form.RemoveAllMissing);
    EXPECT_EQ(form.Ask("Object", "Door", objects), -1);
    EXPECT_EQ(form.Shown, 1);

    // Through a library, the way the map loader asks.
    objects.Chooser = &form;
    EXPECT_EQ(objects.ResolveName("Object", "Chain"), -1);
    EXPECT_EQ(form.Shown, 1);
}

// ------------------------------------------------------------- expanded edit

TEST(ExpandedEdit, UnchangedTextComesBackByteForByte)
{
    TfrmExpandedEdit edit;
    EXPECT_EQ(edit.windowTitle(), "Expanded edit");
    EXPECT_EQ(edit.size(), QSize(553, 324));
    for (const std::string& text : {std::string("line one\r\nline two\r\n\r\nend\xA0\xE9\t!\r\n"),
                                   std::string("mixed\nbreaks\r\nand\rlone CR\r"), std::string(""),
                                   std::string("\r\n\r\n")}) {
        edit.SetText(text);
        EXPECT_EQ(edit.Text(), text);
    }
    edit.SetText("a\r\nb\r\nc");
    EXPECT_EQ(edit.Memo->blockCount(), 3); // shown as three lines
}

TEST(ExpandedEdit, EditedTextKeepsTheOriginalLineBreaks)
{
    TfrmExpandedEdit edit;
    auto append = [&](const QString& more) {
        QTextCursor c = edit.Memo->textCursor();
        c.movePosition(QTextCursor::End);
        c.insertText(more);
        edit.Memo->setTextCursor(c);
    };
    edit.SetText("say \xAB hi\r\nbye");
    append(QString::fromLatin1("\nnow\xA0"));
    EXPECT_EQ(edit.Text(), "say \xAB hi\r\nbye\r\nnow\xA0");

    edit.SetText("one\ntwo");
    append("\nthree");
    EXPECT_EQ(edit.Text(), "one\ntwo\nthree");

    edit.SetText("single line");
    append(QString(QChar::LineSeparator) + "second"); // Shift+Enter
    EXPECT_EQ(edit.Text(), "single line\r\nsecond");

    // Changed and changed back: the original again, lone CR included.
    edit.SetText("x\ry");
    append("z");
    EXPECT_EQ(edit.Text(), "x\ryz");
    QTextCursor c = edit.Memo->textCursor();
    c.movePosition(QTextCursor::End);
    c.deletePreviousChar();
    EXPECT_EQ(edit.Text(), "x\ry");
}

// --------------------------------------------------------- splash and about

TEST(Logo, ProgressTextAndItsDisplay)
{
    TfrmLogo logo;
    EXPECT_EQ(logo.size(), QSize(526, 279));
    EXPECT_EQ(logo.StatusText(), "Initializing ...");
    EXPECT_EQ(logo.StatusLabel->text(), "Initializing ...");
    EXPECT_TRUE(logo.StatusLabel->font().bold());
    EXPECT_TRUE(logo.AboutText->isReadOnly());
    EXPECT_TRUE(logo.AboutText->toPlainText().startsWith("Kestrune game editor"));
    EXPECT_TRUE(logo.AboutText->toPlainText().contains("0.9"));
    EXPECT_FALSE(logo.Image->pixmap().isNull());

    logo.ShowProgress("maps /games/demo.game/");
    EXPECT_EQ(logo.StatusText(), "Loding && initializing maps /games/demo.game/");
    EXPECT_EQ(logo.StatusLabel->text(), "Loding & initializing maps /games/demo.game/");
    EXPECT_EQ(TfrmLogo::DisplayText("a&&b&c&"), "a&bc&");

    logo.ShowSplash();
    logo.ShowProgress("help system");
    EXPECT_EQ(logo.StatusLabel->text(), "Loding & initializing help system");
    SaveScreenshot(logo, "logo.png");
    logo.hide();

    // A very long folder keeps both ends of the line.
    logo.ShowProgress("game data from /" + std::string(300, 'x') + "/end/");
    const QString shown = logo.StatusLabel->text();
    EXPECT_TRUE(shown.startsWith("Loding & initializing game")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("/end/")) << shown.toStdString();
    EXPECT_LE(logo.StatusLabel->fontMetrics().horizontalAdvance(shown), logo.width());
}

TEST(Logo, SplashAndAboutShowDifferentParts)
{
    TfrmLogo logo;
    EXPECT_TRUE(logo.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(logo.windowFlags() & Qt::WindowStaysOnTopHint);

    logo.ShowSplash();
    EXPECT_TRUE(logo.isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(logo.StatusLabel->isHidden());
    EXPECT_TRUE(logo.OkButton->isHidden());
    logo.hide();

    logo.PrepareAbout();
    logo.show();
    EXPECT_TRUE(logo.StatusLabel->isHidden());
    EXPECT_FALSE(logo.OkButton->isHidden());
    SaveScreenshot(logo, "about.png");
    logo.OkButton->click();
    EXPECT_EQ(logo.result(), QDialog::Accepted);
    EXPECT_FALSE(logo.isVisible());

    // The about flag lasts for one showing only.
    logo.show();
    EXPECT_FALSE(logo.StatusLabel->isHidden());
    EXPECT_TRUE(logo.OkButton->isHidden());

    // Clicking the picture closes the window.
    const QPointF at(10, 10);
    QMouseEvent press(QEvent::MouseButtonPress, at, logo.Image->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, logo.Image->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(logo.Image, &press);
    QApplication::sendEvent(logo.Image, &release);
    EXPECT_FALSE(logo.isVisible());

    logo.SetDevelop(true);
    EXPECT_FALSE(logo.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(logo.windowFlags() & Qt::FramelessWindowHint);
    logo.SetDevelop(false);
    EXPECT_TRUE(logo.windowFlags() & Qt::WindowStaysOnTopHint);
}

// -------------------------------------------------------------------- icons

TEST(Icons, ElevenDistinctPicturesInBothSizes)
{
    for (int size : {32, 16}) {
        std::vector<QImage> images;
        for (int i = 0; i < ToolbarImageCount; ++i) {
            const QIcon icon = ToolbarIcon(i, size);
            ASSERT_FALSE(icon.isNull()) << i << " at " << size;
            const QImage image = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(image.size(), QSize(size, size));
            int opaque = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    opaque += qAlpha(image.pixel(x, y)) > 128;
            EXPECT_GT(opaque, size * size / 5) << i << " at " << size; // a picture, not a speck
            EXPECT_LT(opaque, size * size) << i << " at " << size;     // and not a filled square
            for (size_t j = 0; j < images.size(); ++j)
                EXPECT_NE(image, images[j]) << i << " and " << j << " at " << size;
            images.push_back(image);
        }
    }
    EXPECT_EQ(ToolbarImageCount, 11);
    EXPECT_TRUE(ToolbarIcon(-1, 32).isNull());
    EXPECT_TRUE(ToolbarIcon(ToolbarImageCount, 32).isNull());
    EXPECT_TRUE(ToolbarIcon(0, 0).isNull());

    const QImage logo = LogoPicture().toImage();
    ASSERT_FALSE(logo.isNull());
    EXPECT_LE(logo.width(), 526 - 16);
    EXPECT_EQ(qAlpha(logo.pixel(logo.width() - 1, 0)), 0); // transparent around the picture
}

} // namespace
} // namespace kestrune::test
