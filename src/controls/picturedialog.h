#pragma once
// The picture chooser: a file-open dialog over the picture files of a
// folder with a preview of the file under the cursor beside the list.

#include <QFileDialog>

#include <string>

class QLabel;

namespace kestrune {

class TPictureDialog : public QFileDialog {
    Q_OBJECT
public:
    static constexpr int PreviewSide = 160;

    TPictureDialog(QWidget* parent, const QString& title, const QString& folder);

    // Shows a file's picture in the preview, scaled down to fit it; a file
    // that is no picture empties the preview. False when it was emptied.
    bool ShowPreview(const QString& file);
    QLabel* Preview() const { return preview_; }

private:
    QLabel* preview_;
};

} // namespace kestrune
