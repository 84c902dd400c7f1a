#include "mapedit/patterneditor.h"

#include "model/elements.h"
#include "model/project.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <QToolButton>
#include <QWidget>

#include <algorithm>
#include <cstdlib>

namespace kestrune {

const char* const TPatternEditor::SwatchHint = "Use right click fto modify color";

namespace {

constexpr const char* TagProperty = "swatchTag";

// Division rounding down, so that pixels left of or above the pattern never
// land in its first column or row.
int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Right-button releases over the swatches of the project's own colours.
class SwatchClicks : public QObject {
public:
    SwatchClicks(TPatternEditor& editor, QObject* parent) : QObject(parent), editor_(editor) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::MouseButtonRelease)
            return false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* button = qobject_cast<QWidget*>(watched);
        if (mouse->button() != Qt::RightButton || !button || !button->rect().contains(mouse->position().toPoint()))
            return false;
        editor_.EditSwatchColour(button->property(TagProperty).toInt());
        return true;
    }

private:
    TPatternEditor& editor_;
};

} // namespace

TPatternEditor::TPatternEditor(Project& project, QWidget* toolBarParent)
    : ShadowColour(QGuiApplication::palette().color(QPalette::Active, QPalette::Dark)), project_(project)
{
    toolBar_ = new QWidget(toolBarParent);
    toolBar_->setToolTip(QString::fromLatin1(SwatchHint));
    auto* clicks = new SwatchClicks(*this, toolBar_);
    clicks_ = clicks;
    auto* grid = new QGridLayout(toolBar_);
    grid->setContentsMargins(2, 2, 2, 2);
    grid->setSpacing(0);
    auto* group = new QButtonGroup(toolBar_);
    group->setExclusive(true);
    for (int tag = 0; tag < SwatchCount; ++tag) {
        auto* button = new QToolButton(toolBar_);
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setIconSize(QSize(SwatchPixels, SwatchPixels));
        button->setToolTip(QString::fromLatin1(SwatchHint));
        button->setProperty(TagProperty, tag);
        button->installEventFilter(clicks);
        group->addButton(button, tag);
        grid->addWidget(button, tag / SwatchesPerRow, tag % SwatchesPerRow);
        swatches_[static_cast<size_t>(tag)] = button;
    }
    grid->setColumnStretch(SwatchesPerRow, 1); // the swatches keep to the left
    QObject::connect(group, &QButtonGroup::idClicked, clicks, [this](int tag) { ChooseSwatch(tag); });
    swatches_[0]->setChecked(true);
    toolBar_->setVisible(false);

    ChooseColour = [this](QColor initial) -> std::optional<QColor> {
        const QColor chosen = QColorDialog::getColor(initial, toolBar_ ? toolBar_->window() : nullptr);
        if (!chosen.isValid())
            return std::nullopt;
        return chosen;
    };
    RebuildSwatches();
}

TPatternEditor::~TPatternEditor()
{
    // The filter and the click connections refer to this editor.
    delete clicks_.data();
    delete toolBar_.data();
}

QToolButton* TPatternEditor::Swatch(int tag) const
{
    return tag >= 0 && tag < SwatchCount ? swatches_[static_cast<size_t>(tag)] : nullptr;
}

void TPatternEditor::SetLibMode(bool on)
{
    if (toolBar_)
        toolBar_->setVisible(on);
    Release();
}

// ----------------------------------------------------------------- swatches

void TPatternEditor::ChooseSwatch(int tag)
{
    if (tag < 0 || tag >= SwatchCount)
        return;
    patternColor_ = tag;
    if (QToolButton* button = Swatch(tag); button && !button->isChecked())
        button->setChecked(true);
}

bool TPatternEditor::EditSwatchColour(int tag)
{
    if (tag < FirstUserColour || tag >= SwatchCount || !ChooseColour)
        return false;
    TColor& colour = project_.MapColors[static_cast<size_t>(tag)];
    const std::optional<QColor> chosen = ChooseColour(QColor::fromRgb(ToRgb(colour)));
    if (!chosen || !chosen->isValid())
        return false;
    const TColor before = colour;
    colour = RgbColor(chosen->red(), chosen->green(), chosen->blue());
    RebuildSwatches();
    project_.PrepareMapPictures();
    if (OnColoursChanged)
        OnColoursChanged();
    if (OnColourEdited && colour != before)
        OnColourEdited(tag, before);
    return true;
}

void TPatternEditor::RebuildSwatches()
{
    for (int tag = 0; tag < SwatchCount; ++tag) {
        QImage& image = swatchImages_[static_cast<size_t>(tag)];
        image = QImage(SwatchPixels, SwatchPixels, QImage::Format_RGB32);
        TCanvas canvas(image);
        canvas.Rectangle(0, 0, SwatchPixels, SwatchPixels, ToRgb(RgbColor(0, 0, 0)), TBrush::Solid,
                         ToRgb(project_.MapColors[static_cast<size_t>(tag)]));
        if (QToolButton* button = Swatch(tag))
            button->setIcon(QIcon(QPixmap::fromImage(image)));
    }
}

// ------------------------------------------------------------------ pattern

QSize TPatternEditor::PatternArea(const TListedItem* element)
{
    if (!element)
        return {};
    const auto [columns, rows] = element->GetPatternSize();
    if (columns <= 0 || rows <= 0)
        return {};
    return {columns * CellPixels, rows * CellPixels};
}

std::optional<QPoint> TPatternEditor::CellAt(const TListedItem* element, QPoint pixel)
{
    if (!element)
        return std::nullopt;
    const auto [columns, rows] = element->GetPatternSize();
    const int q = FloorDiv(pixel.x(), CellPixels);
    const int r = FloorDiv(pixel.y(), CellPixels);
    if (q < 0 || r < 0 || q >= columns || r >= rows || q >= TListedItem::PatternMax || r >= TListedItem::PatternMax)
        return std::nullopt;
    return QPoint(q, r);
}

bool TPatternEditor::CanEdit(const TListedItem* element) { return element && !element->Shared; }

void TPatternEditor::Paint(TCanvas& canvas, const TListedItem* element) const
{
    if (!element)
        return;
    const auto [columns, rows] = element->GetPatternSize();
    const QRgb shadow = ShadowColour.rgb() | 0xFF000000u;
    for (int r = 0; r < std::min(rows, TListedItem::PatternMax); ++r)
        for (int q = 0; q < std::min(columns, TListedItem::PatternMax); ++q) {
            int v = element->PatternCells[r][q];
            if (v >= SwatchCount)
                v = 0; // no colour: shown as transparent
            const QRgb colour = ToRgb(project_.MapColors[static_cast<size_t>(v)]);
            const int x = q * CellPixels, y = r * CellPixels;
            canvas.Rectangle(x, y, x + CellPixels, y + CellPixels, v == 0 ? shadow : colour, TBrush::Solid, colour);
        }
}

bool TPatternEditor::SetCell(TListedItem* element, QPoint pixel, Qt::MouseButton button)
{
    if (!CanEdit(element))
        return false;
    const std::optional<QPoint> cell = CellAt(element, pixel);
    if (!cell)
        return false;
    const uint8_t value = button == Qt::RightButton ? 0 : static_cast<uint8_t>(patternColor_);
    uint8_t& target = element->PatternCells[cell->y()][cell->x()];
    if (target == value)
        return false;
    target = value;
    return true;
}

void TPatternEditor::PatternChanged(TListedItem* element)
{
    element->PreparePictures();
    if (OnPatternChanged)
        OnPatternChanged(element);
}

bool TPatternEditor::PaintPatternCell(TListedItem* element, QPoint pixel, Qt::MouseButton button)
{
    if (!SetCell(element, pixel, button))
        return false;
    PatternChanged(element);
    return true;
}

// ------------------------------------------------------------------ gestures

bool TPatternEditor::PressAt(TListedItem* element, QPoint pixel, Qt::MouseButton button)
{
    if (button != Qt::LeftButton && button != Qt::RightButton)
        return false;
    dragging_ = true;
    dragElement_ = element;
    lastPixel_ = pixel;
    return PaintPatternCell(element, pixel, button);
}

bool TPatternEditor::MoveTo(TListedItem* element, QPoint pixel, Qt::MouseButtons held)
{
    const Qt::MouseButton button = (held & Qt::LeftButton)    ? Qt::LeftButton
                                   : (held & Qt::RightButton) ? Qt::RightButton
                                                              : Qt::NoButton;
    if (button == Qt::NoButton)
        return false;
    // The pointer may skip cells between two moves: every pixel of the way
    // from the last position is visited, so no cell it crossed is missed.
    const QPoint from = dragging_ && dragElement_ == element ? lastPixel_ : pixel;
    dragging_ = true;
    dragElement_ = element;
    lastPixel_ = pixel;
    const long long dx = pixel.x() - from.x(), dy = pixel.y() - from.y();
    const long long steps = std::max(std::llabs(dx), std::llabs(dy));
    bool changed = false;
    for (long long i = steps == 0 ? 0 : 1; i <= steps; ++i) {
        const QPoint at = steps == 0 ? pixel
                                     : QPoint(from.x() + static_cast<int>((dx * i + (dx < 0 ? -steps : steps) / 2) / steps),
                                              from.y() + static_cast<int>((dy * i + (dy < 0 ? -steps : steps) / 2) / steps));
        changed = SetCell(element, at, button) || changed;
    }
    if (changed)
        PatternChanged(element);
    return changed;
}

void TPatternEditor::Release()
{
    dragging_ = false;
    dragElement_ = nullptr;
}

} // namespace kestrune
