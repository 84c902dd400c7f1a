#include "controls/picturedialog.h"

#include "model/picture.h"

#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>

#include <filesystem>
#include <memory>

namespace kestrune {

TPictureDialog::TPictureDialog(QWidget* parent, const QString& title, const QString& folder)
    : QFileDialog(parent, title, folder)
{
    // The toolkit's own dialog: the platform's has no room for the preview.
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::ExistingFile);
    setAcceptMode(QFileDialog::AcceptOpen);
    setNameFilters({QStringLiteral("All (*.jpg *.jpeg *.gif *.png)"), QStringLiteral("JPEG Image File (*.jpg)"),
                    QStringLiteral("JPEG Image File (*.jpeg)"), QStringLiteral("GIF (*.gif)"),
                    QStringLiteral("PNG (*.png)")});

    preview_ = new QLabel(this);
    preview_->setObjectName(QStringLiteral("picturePreview"));
    preview_->setFixedSize(PreviewSide, PreviewSide);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setFrameShape(QFrame::StyledPanel);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(preview_, 0, grid->columnCount(), grid->rowCount(), 1, Qt::AlignTop);
    connect(this, &QFileDialog::currentChanged, this, [this](const QString& file) { ShowPreview(file); });
}

bool TPictureDialog::ShowPreview(const QString& file)
{
    std::unique_ptr<QImage> picture;
    if (!file.isEmpty() && QFileInfo(file).isFile())
        picture = DecodePictureFile(std::filesystem::path(QFile::encodeName(file).toStdString()));
    if (!picture || picture->isNull()) {
        preview_->clear();
        return false;
    }
    QPixmap pixmap = QPixmap::fromImage(*picture);
    const QSize room = preview_->contentsRect().size();
    if (pixmap.width() > room.width() || pixmap.height() > room.height())
        pixmap = pixmap.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    preview_->setPixmap(pixmap);
    return true;
}

} // namespace kestrune
