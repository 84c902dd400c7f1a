// The picture chooser: the toolkit's own file dialog, with the picture of
// the file under the cursor shown beside it.

#include "controls/picturedialog.h"

#include "core/test_util.h"

#include <gtest/gtest.h>

#include <QGridLayout>
#include <QImage>
#include <QLabel>

#include <fstream>

namespace kestrune {
namespace {

using test::TempDir;

TEST(PictureDialog, PreviewsThePictureUnderTheCursor)
{
    TempDir dir;
    const QString folder = QString::fromStdString(dir.Path().string());
    QImage small(40, 20, QImage::Format_RGB32);
    small.fill(Qt::red);
    ASSERT_TRUE(small.save(folder + "/small.png"));
    QImage large(640, 320, QImage::Format_RGB32);
    large.fill(Qt::green);
    ASSERT_TRUE(large.save(folder + "/large.jpg"));
    std::ofstream(dir.Path() / "notes.png") << "not a picture";

    TPictureDialog dialog(nullptr, QStringLiteral("Picture : wall picture"), folder);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Picture : wall picture"));
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog.nameFilters().constFirst(), QStringLiteral("All (*.jpg *.jpeg *.gif *.png)"));
    ASSERT_NE(dialog.layout(), nullptr);
    EXPECT_GE(dialog.layout()->indexOf(dialog.Preview()), 0);

    // The file under the cursor: small pictures as they are, large ones fitted.
    emit dialog.currentChanged(folder + "/small.png");
    ASSERT_FALSE(dialog.Preview()->pixmap().isNull());
    EXPECT_EQ(dialog.Preview()->pixmap().size(), QSize(40, 20));
    EXPECT_EQ(dialog.Preview()->pixmap().toImage().pixelColor(5, 5), QColor(Qt::red));
    ASSERT_TRUE(dialog.ShowPreview(folder + "/large.jpg"));
    const QSize fitted = dialog.Preview()->pixmap().size();
    EXPECT_LE(fitted.width(), TPictureDialog::PreviewSide);
    EXPECT_EQ(fitted.width(), 2 * fitted.height());

    // A folder, a broken file or nothing empties it.
    for (const QString& other : {folder, folder + "/notes.png", QString()}) {
        EXPECT_FALSE(dialog.ShowPreview(other)) << other.toStdString();
        EXPECT_TRUE(dialog.Preview()->pixmap().isNull()) << other.toStdString();
    }
}

} // namespace
} // namespace kestrune
