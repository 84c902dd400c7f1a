#include "shell/picturepreview.h"

#include "model/picture.h"

#include <QPainter>
#include <QPen>

namespace kestrune {

TPicturePreview::TPicturePreview(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
}

void TPicturePreview::SetPicture(const QImage& picture, std::optional<TFootprint> footprint)
{
    picture_ = picture;
    footprint_ = footprint;
    update();
}

void TPicturePreview::ShowFile(const std::string& path, std::optional<TFootprint> footprint)
{
    if (path.empty()) {
        Clear();
        return;
    }
    if (path != file_ || picture_.isNull()) {
        const std::unique_ptr<QImage> picture = DecodePictureFile(path);
        if (!picture) {
            Clear();
            return;
        }
        picture_ = *picture;
        file_ = path;
    }
    footprint_ = footprint;
    update();
}

void TPicturePreview::Clear()
{
    picture_ = QImage();
    footprint_.reset();
    file_.clear();
    update();
}

QRect TPicturePreview::PictureRect() const
{
    if (picture_.isNull())
        return {};
    return {(width() - picture_.width()) / 2, (height() - picture_.height()) / 2, picture_.width(),
            picture_.height()};
}

QRect TPicturePreview::FootprintRect() const
{
    if (picture_.isNull() || !footprint_)
        return {};
    const QRect p = PictureRect();
    return {p.left() - footprint_->OffsetX, p.top() - footprint_->OffsetY, footprint_->Width, footprint_->Height};
}

void TPicturePreview::paintEvent(QPaintEvent*)
{
    if (picture_.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(PictureRect().topLeft(), picture_);
    if (footprint_) {
        QPen pen(Qt::red);
        pen.setStyle(Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        const QRect f = FootprintRect();
        painter.drawRect(f.adjusted(0, 0, -1, -1));
    }
}

} // namespace kestrune
