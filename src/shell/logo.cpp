#include "shell/logo.h"

#include "controls/userdialogs.h"
#include "shell/icons.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrune {

namespace {

const char* const AboutWords =
    "Kestrune game editor\n"
    "Version 0.9\n"
    "Edits the content of Kestrune games: maps with their walls, floors, ceilings, objects, "
    "items, monsters and NPCs; the element libraries with their parameters, pictures and colour "
    "patterns; event scripts in QV5Lang; the game parameters and names.";

Qt::WindowFlags Flags(bool develop)
{
    Qt::WindowFlags flags = Qt::Dialog | Qt::FramelessWindowHint;
    if (!develop)
        flags |= Qt::WindowStaysOnTopHint;
    return flags;
}

} // namespace

TfrmLogo::TfrmLogo(QWidget* parent) : QDialog(parent, Flags(false))
{
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Raised);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);

    Image = new QLabel(frame);
    Image->setPixmap(LogoPicture());
    Image->setAlignment(Qt::AlignCenter);
    Image->installEventFilter(this);

    AboutText = new QPlainTextEdit(frame);
    AboutText->setReadOnly(true);
    AboutText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    AboutText->setPlainText(QString::fromLatin1(AboutWords));

    StatusLabel = new QLabel(frame);
    QFont bold = StatusLabel->font();
    bold.setBold(true);
    StatusLabel->setFont(bold);
    StatusLabel->setAlignment(Qt::AlignCenter);
    StatusLabel->setTextFormat(Qt::PlainText);
    StatusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    OkButton = new QPushButton(QStringLiteral("Ok"), frame);
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(8, 6, 8, 8);
    layout->setSpacing(4);
    layout->addWidget(Image);
    layout->addWidget(AboutText, 1);
    layout->addWidget(StatusLabel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OkButton);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    setFixedSize(526, 279);
    SetStatus("Initializing ...");
    OkButton->hide();
}

void TfrmLogo::SetDevelop(bool develop)
{
    develop_ = develop;
    const bool visible = isVisible();
    setWindowFlags(Flags(develop));
    if (visible)
        show();
}

QString TfrmLogo::DisplayText(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i; // the marker goes; a doubled one leaves one ampersand
        shown += text[i];
    }
    return shown;
}

void TfrmLogo::SetStatus(const std::string& text)
{
    status_ = text;
    // A long folder name loses its middle rather than its ends.
    const int room = width() - 24;
    StatusLabel->setText(StatusLabel->fontMetrics().elidedText(DisplayText(ToQ(text)), Qt::ElideMiddle, room));
}

void TfrmLogo::ShowProgress(const std::string& text)
{
    SetStatus("Loding && initializing " + text);
    if (isVisible())
        repaint();
}

void TfrmLogo::ShowSplash()
{
    about_ = false;
    show();
}

void TfrmLogo::PrepareAbout() { about_ = true; }

void TfrmLogo::ShowAbout()
{
    PrepareAbout();
    exec();
}

void TfrmLogo::showEvent(QShowEvent* event)
{
    StatusLabel->setVisible(!about_);
    OkButton->setVisible(about_);
    if (about_)
        OkButton->setFocus();
    about_ = false;
    QDialog::showEvent(event);
}

bool TfrmLogo::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Image && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kestrune
