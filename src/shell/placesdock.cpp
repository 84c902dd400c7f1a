#include "shell/placesdock.h"

#include "controls/userdialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kestrune {

namespace {

// A tree whose Enter goes to the current row as a double click does.
class TPlacesList : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;
    std::function<void(int)> OnEnter;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem() && OnEnter) {
            OnEnter(indexOfTopLevelItem(currentItem()));
            return;
        }
        QTreeWidget::keyPressEvent(event);
    }
};

} // namespace

TPlacesDock::TPlacesDock(QWidget* parent) : QDockWidget(QStringLiteral("Places"), parent)
{
    setObjectName(QStringLiteral("places"));
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    heading_ = new QLabel(box);
    layout->addWidget(heading_);
    auto* list = new TPlacesList(box);
    list->OnEnter = [this](int row) { Activate(row); };
    list_ = list;
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true); // thousands of rows stay quick
    list_->setHeaderLabels({QStringLiteral("Severity"), QStringLiteral("Kind"), QStringLiteral("File"),
                            QStringLiteral("Where"), QStringLiteral("Message")});
    list_->header()->setStretchLastSection(true);
    connect(list_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { Activate(list_->indexOfTopLevelItem(item)); });
    layout->addWidget(list_, 1);
    setWidget(box);
}

void TPlacesDock::SetPlaces(const std::string& heading, std::vector<TProblem> places)
{
    places_ = std::move(places);
    heading_->setText(ToQ(heading));
    list_->clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<int>(places_.size()));
    for (const TProblem& p : places_)
        rows.append(new QTreeWidgetItem(
            {ToQ(p.severity), ToQ(p.kind), ToQ(p.file), ToQ(p.where), ToQ(p.message)}));
    list_->addTopLevelItems(rows);
    for (int c = 0; c < 4; ++c)
        list_->resizeColumnToContents(c);
    if (!rows.isEmpty())
        list_->setCurrentItem(rows.front());
}

QString TPlacesDock::Heading() const { return heading_->text(); }

void TPlacesDock::Activate(int row)
{
    if (row < 0 || row >= static_cast<int>(places_.size()) || !OnGo)
        return;
    OnGo(places_[static_cast<size_t>(row)]);
}

TFindScriptsDialog::TFindScriptsDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Find in scripts"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Text to find:"), this));
    text_ = new QLineEdit(this);
    layout->addWidget(text_);
    wholeWord_ = new QCheckBox(QStringLiteral("Whole word"), this);
    matchCase_ = new QCheckBox(QStringLiteral("Match case"), this);
    layout->addWidget(wholeWord_);
    layout->addWidget(matchCase_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

std::string TFindScriptsDialog::Text() const { return FromQ(text_->text()); }
bool TFindScriptsDialog::WholeWord() const { return wholeWord_->isChecked(); }
bool TFindScriptsDialog::MatchCase() const { return matchCase_->isChecked(); }

} // namespace kestrune
