#include "shell/selectreplace.h"

#include "controls/userdialogs.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrune {

namespace {
constexpr int PositionRole = Qt::UserRole;
} // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Select replace"));
    setModal(true);

    MessageLabel = new QLabel(this);
    MessageLabel->setWordWrap(true);
    MessageLabel->setTextFormat(Qt::PlainText);
    ChooseLabel = new QLabel(QStringLiteral("Choose replacement:"), this);
    ListBox = new QListWidget(this);
    ListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    RemoveAllBox = new QCheckBox(QStringLiteral("Remove all missing"), this);
    UseThisButton = new QPushButton(QStringLiteral("Use this"), this);
    UseThisButton->setDefault(true);
    NoneButton = new QPushButton(QStringLiteral("None"), this);
    connect(UseThisButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(NoneButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(RemoveAllBox, &QCheckBox::toggled, this, [this](bool on) { RemoveAllMissing = on; });
    // A double click on a name is "Use this" for it.
    connect(ListBox, &QListWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(MessageLabel);
    layout->addWidget(ChooseLabel);
    layout->addWidget(ListBox, 1);
    layout->addWidget(RemoveAllBox);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(UseThisButton);
    buttons->addWidget(NoneButton);
    layout->addLayout(buttons);

    resize(245, 408);
}

void TForm2::Fill(const std::string& message, const std::vector<std::string>& names)
{
    MessageLabel->setText(ToQ(message));
    ListBox->clear();
    for (size_t i = 0; i < names.size(); ++i) {
        auto* entry = new QListWidgetItem(ToQ(names[i]), ListBox);
        entry->setData(PositionRole, static_cast<int>(i));
    }
    ListBox->setCurrentRow(-1);
    ListBox->clearSelection();
    RemoveAllBox->setChecked(RemoveAllMissing);
}

std::optional<int> TForm2::Answer(int result) const
{
    if (result != QDialog::Accepted)
        return std::nullopt;
    const QList<QListWidgetItem*> selected = ListBox->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return selected.front()->data(PositionRole).toInt();
}

std::optional<int> TForm2::ShowModal(const std::string& message, const std::vector<std::string>& names)
{
    Fill(message, names);
    const int result = RunModal();
    RemoveAllMissing = RemoveAllBox->isChecked();
    return Answer(result);
}

int TForm2::RunModal() { return exec(); }

} // namespace kestrune
