#pragma once
// The Lib-mode preview of a picture row: the picture centred in the area
// and, when the row's description gives one, the footprint rectangle
// outlined in a red dotted line.

#include "shell/propertygrid.h"

#include <QImage>
#include <QWidget>

#include <optional>
#include <string>

namespace kestrune {

class TPicturePreview : public QWidget {
public:
    explicit TPicturePreview(QWidget* parent = nullptr);

    void SetPicture(const QImage& picture, std::optional<TFootprint> footprint);
    // What a picture row shows: the file's picture, loaded only when it is
    // not the file already shown, and the row's footprint every time. An
    // empty path, or a file that cannot be loaded, clears the preview.
    void ShowFile(const std::string& path, std::optional<TFootprint> footprint);
    // The file last shown by ShowFile (empty once cleared).
    const std::string& ShownFile() const { return file_; }
    // Empties the preview and forgets the file shown.
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
    std::string file_;
};

} // namespace kestrune
