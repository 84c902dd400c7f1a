#pragma once
// The Lib-mode preview of a picture row: the picture centred in the area
// and, when the row's description gives one, the footprint rectangle
// outlined in a red dotted line.

#include "shell/propertygrid.h"

#include <QImage>
#include <QWidget>

#include <optional>

namespace kestrune {

class TPicturePreview : public QWidget {
public:
    explicit TPicturePreview(QWidget* parent = nullptr);

    void SetPicture(const QImage& picture, std::optional<TFootprint> footprint);
    void Clear();
    bool HasPicture() const { return !picture_.isNull(); }
    // Where the picture and the footprint lie in the area (empty when none).
    QRect PictureRect() const;
    QRect FootprintRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
    std::optional<TFootprint> footprint_;
};

} // namespace kestrune
