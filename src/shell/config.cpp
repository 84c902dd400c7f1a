#include "shell/config.h"

#include "controls/settings.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace kestrune {

namespace {

QLabel* Heading(const char* text, QWidget* parent)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

TfrmConfig::TfrmConfig(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Configuration"));

    CheckBox1 = new QCheckBox(
        QStringLiteral("Map direct draw (slow but works better compability with WINE emulator on Linux)"), this);
    CheckBox2 = new QCheckBox(QStringLiteral("Big icons in main toolbar"), this);
    CheckBox4 = new QCheckBox(QStringLiteral("Actual selected object image preview"), this);
    CheckBox3 = new QCheckBox(QStringLiteral("Add () after functions w/o parameters"), this);
    TrackBar1 = new QSlider(Qt::Horizontal, this);
    TrackBar1->setRange(0, 30);
    TrackBar1->setSingleStep(1);
    TrackBar1->setPageStep(3);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setTickInterval(1);
    DelayLabel = new QLabel(this);
    DelayLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    DelayLabel->setMinimumWidth(DelayLabel->fontMetrics().horizontalAdvance(QStringLiteral("30000")));
    connect(TrackBar1, &QSlider::valueChanged, this, [this] { UpdateDelayLabel(); });

    auto* ok = new QPushButton(QStringLiteral("Ok"), this);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(ok, &QPushButton::clicked, this, [this] { Accept(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(1);
    layout->addWidget(Heading("Visual editor", this));
    for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox4}) {
        layout->addWidget(box);
        layout->setAlignment(box, Qt::AlignLeft);
    }
    layout->addSpacing(3);
    layout->addWidget(Heading("Code editor", this));
    layout->addWidget(CheckBox3);
    auto* delayRow = new QHBoxLayout;
    delayRow->setSpacing(4);
    delayRow->addWidget(new QLabel(QStringLiteral("Auto show functions list after "), this));
    delayRow->addWidget(TrackBar1, 1);
    delayRow->addWidget(DelayLabel);
    delayRow->addWidget(new QLabel(QStringLiteral("msec."), this));
    layout->addLayout(delayRow);
    layout->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    resize(453, 189);
    LoadOptions();
}

void TfrmConfig::LoadOptions()
{
    const auto settings = TSettings::OpenSettings();
    CheckBox1->setChecked(settings->ReadBool(Section, "CheckBox1", DefaultDirectDraw));
    CheckBox2->setChecked(settings->ReadBool(Section, "CheckBox2", DefaultBigIcons));
    CheckBox3->setChecked(settings->ReadBool(Section, "CheckBox3", DefaultAddParentheses));
    CheckBox4->setChecked(settings->ReadBool(Section, "CheckBox4", DefaultPicturePreview));
    TrackBar1->setValue(settings->ReadInteger(Section, "TrackBar1", DefaultDelayPosition));
    settings->CloseSettings();
    UpdateDelayLabel();
}

void TfrmConfig::StoreOptions()
{
    const auto settings = TSettings::OpenSettings();
    settings->WriteBool(Section, "CheckBox1", CheckBox1->isChecked());
    settings->WriteBool(Section, "CheckBox2", CheckBox2->isChecked());
    settings->WriteBool(Section, "CheckBox3", CheckBox3->isChecked());
    settings->WriteBool(Section, "CheckBox4", CheckBox4->isChecked());
    settings->WriteInteger(Section, "TrackBar1", TrackBar1->value());
    settings->CloseSettings();
}

void TfrmConfig::SetFromState(const TConfigState& state)
{
    CheckBox1->setChecked(state.MapDirectDraw);
    CheckBox2->setChecked(state.BigIcons);
    CheckBox4->setChecked(state.PicturePreview);
    CheckBox3->setChecked(state.AddParentheses);
    TrackBar1->setValue(state.CompletionDelayMs / 100);
    UpdateDelayLabel();
}

TConfigState TfrmConfig::State() const
{
    TConfigState state;
    state.MapDirectDraw = CheckBox1->isChecked();
    state.BigIcons = CheckBox2->isChecked();
    state.PicturePreview = CheckBox4->isChecked();
    state.AddParentheses = CheckBox3->isChecked();
    state.CompletionDelayMs = TrackBar1->value() * 100;
    return state;
}

void TfrmConfig::Accept() { accept(); }

void TfrmConfig::accept()
{
    StoreOptions();
    QDialog::accept();
}

void TfrmConfig::UpdateDelayLabel() { DelayLabel->setText(QString::number(TrackBar1->value() * 100)); }

} // namespace kestrune
