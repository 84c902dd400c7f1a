#pragma once
// The pattern editor of Lib mode: the map view shows the selected element's
// colour pattern enlarged, 6 by 6 pixels a cell, and the left button paints
// cells with the colour of the swatch that is down while the right button
// erases them. The swatch bar (`ToolBar4`) holds the 34 map colours in two
// rows; a right click on one of the project's own colours (17 to 33) changes
// that colour.
//
// The decisions are plain methods; the widgets only turn clicks into them.

#include "model/canvas.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <Qt>

#include <array>
#include <functional>
#include <optional>

class QObject;
class QToolButton;
class QWidget;

namespace kestrune {

class Project;
class TListedItem;

class TPatternEditor {
public:
    static constexpr int CellPixels = 6;        // a pattern cell on the screen
    static constexpr int SwatchCount = 34;      // one swatch per map colour
    static constexpr int SwatchesPerRow = 17;
    static constexpr int FirstUserColour = 17;  // 0..16 are built in
    static constexpr int SwatchPixels = 16;     // the swatch pictures
    static const char* const SwatchHint;

    // The swatch bar is created in toolBarParent (none: a window of its
    // own); it starts hidden and the editor deletes it with itself.
    explicit TPatternEditor(Project& project, QWidget* toolBarParent = nullptr);
    ~TPatternEditor();
    TPatternEditor(const TPatternEditor&) = delete;
    TPatternEditor& operator=(const TPatternEditor&) = delete;

    // ---- the swatch bar ----
    QWidget* ToolBar4() const { return toolBar_; }
    QToolButton* Swatch(int tag) const;
    const QImage& SwatchImage(int tag) const { return swatchImages_.at(static_cast<size_t>(tag)); }
    // Shows the bar exactly in Lib mode; leaving it ends a drag.
    void SetLibMode(bool on);

    // The colour index the left button paints (the tag of the swatch that is down).
    int PatternColor() const { return patternColor_; }
    // A click on a swatch: its colour becomes the painting colour.
    void ChooseSwatch(int tag);
    // A right click on a swatch: the project's colours 17 to 33 ask for a new
    // colour; the built-in ones do nothing. True when a colour changed.
    bool EditSwatchColour(int tag);
    // Refills the swatch pictures from the map colours.
    void RebuildSwatches();

    // ---- the pattern on the map view ----
    // The size of the pattern area of an element in pixels; empty for none
    // and for elements without a pattern.
    static QSize PatternArea(const TListedItem* element);
    // The pattern cell (column, row) under a pixel of the pattern area.
    static std::optional<QPoint> CellAt(const TListedItem* element, QPoint pixel);
    // Elements of the shared data are not edited: the project never saves them.
    static bool CanEdit(const TListedItem* element);
    // Draws an element's pattern (none: nothing) at the canvas's (0, 0).
    void Paint(TCanvas& canvas, const TListedItem* element) const;

    // Sets the cell under a pixel: 0 for the right button, the painting
    // colour otherwise. When the cell changes, the element's pictures are
    // rebuilt and OnPatternChanged is told. True when the cell changed.
    bool PaintPatternCell(TListedItem* element, QPoint pixel, Qt::MouseButton button);

    // Mouse gestures on the pattern area. A press paints (left) or erases
    // (right) one cell and starts a drag; every move with a button held
    // paints (left wins) or erases every cell on the way from the last
    // position. True when a cell changed.
    bool PressAt(TListedItem* element, QPoint pixel, Qt::MouseButton button);
    bool MoveTo(TListedItem* element, QPoint pixel, Qt::MouseButtons held);
    void Release();
    bool Dragging() const { return dragging_; }

    // The outline of transparent cells (the system's button-shadow colour).
    QColor ShadowColour;

    // Asks for a colour starting from the current one; nothing when
    // cancelled. By default the toolkit's colour dialog.
    std::function<std::optional<QColor>(QColor)> ChooseColour;
    // A map colour changed: the pictures of every wall, floor, ceiling and
    // object are rebuilt already; the tree, the pattern and the map need a repaint.
    std::function<void()> OnColoursChanged;
    // A colour was changed (it held `before`), for the history.
    std::function<void(int tag, TColor before)> OnColourEdited;
    // An element's pattern changed (its pictures are rebuilt already).
    std::function<void(TListedItem*)> OnPatternChanged;

private:
    // Sets one cell without the follow-up; true when it changed.
    bool SetCell(TListedItem* element, QPoint pixel, Qt::MouseButton button);
    void PatternChanged(TListedItem* element);

    Project& project_;
    int patternColor_ = 0;
    std::array<QImage, SwatchCount> swatchImages_;
    std::array<QToolButton*, SwatchCount> swatches_{};
    QPointer<QWidget> toolBar_;
    QPointer<QObject> clicks_; // the right-click filter, the context of the connections

    bool dragging_ = false;
    const TListedItem* dragElement_ = nullptr; // compared only, never used
    QPoint lastPixel_;
};

} // namespace kestrune
