#include "shell/selectproject.h"

#include "controls/userdialogs.h"
#include "core/text.h"
#include "model/project.h"
#include "controls/settings.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

const char* const Ending = ".game";
constexpr size_t EndingLength = 5;

bool IsFolder(const std::string& path)
{
    std::error_code ec;
    return fs::is_directory(fs::path(path), ec);
}

// The names of the entries of a folder that end in ".game" in any letter
// case, folders and plain files alike, in the order the file system gives.
// A folder that cannot be read (or stops being readable) lists what was read.
std::vector<std::string> GameEntries(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(fs::path(folder.empty() ? "." : folder), ec);
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (EndsWithText(name, Ending))
            names.push_back(std::move(name));
    }
    return names;
}

} // namespace

TfrmSelectProject::TfrmSelectProject(UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      dialogs_(dialogs)
{
    setWindowTitle(QStringLiteral("Select project"));
    BuildControls();
    setFixedSize(341, 288);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TfrmSelectProject::~TfrmSelectProject() = default;

void TfrmSelectProject::BuildControls()
{
    auto* label = new QLabel(QStringLiteral("Game dir : "), this);
    folderBox_ = new QLineEdit(this);
    label->setBuddy(folderBox_);
    openButton_ = new QPushButton(QStringLiteral("&Open"), this);
    openButton_->setAutoDefault(false);

    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);

    okButton_ = new QPushButton(QStringLiteral("Ok"), this);
    okButton_->setDefault(true);
    newButton_ = new QPushButton(QStringLiteral("New"), this);
    newButton_->setAutoDefault(false);
    exitButton_ = new QPushButton(QStringLiteral("Exit"), this);
    exitButton_->setAutoDefault(false);
    okButton_->setEnabled(false);
    newButton_->setEnabled(false);

    auto* top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(folderBox_, 1);
    top->addWidget(openButton_);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(okButton_);
    bottom->addWidget(newButton_);
    bottom->addWidget(exitButton_);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(list_, 1);
    all->addLayout(bottom);

    connect(openButton_, &QPushButton::clicked, this, [this] { OpenFolder(); });
    connect(okButton_, &QPushButton::clicked, this, [this] { OpenProject(); });
    connect(newButton_, &QPushButton::clicked, this, [this] { NewProject(); });
    connect(exitButton_, &QPushButton::clicked, this, [this] { Exit(); });
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> selected = list_->selectedItems();
        ChooseProject(selected.isEmpty() ? -1 : list_->row(selected.front()));
    });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        ChooseProject(list_->row(item));
        if (OkEnabled())
            OpenProject();
    });
}

void TfrmSelectProject::SetFolderText(const std::string& text) { folderBox_->setText(ToQ(text)); }

std::string TfrmSelectProject::FolderText() const { return FromQ(folderBox_->text()); }

bool TfrmSelectProject::OkEnabled() const { return okButton_->isEnabled(); }

bool TfrmSelectProject::NewEnabled() const { return newButton_->isEnabled(); }

void TfrmSelectProject::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A spontaneous show is the window system restoring the window, not a
    // new showing.
    if (!event->spontaneous())
        FormShow();
}

void TfrmSelectProject::FormShow()
{
    if (FolderText().empty()) {
        auto settings = TSettings::OpenSettings();
        const std::string fallback = settings->ReadString("qv5run", "gameDir", Project::ExecutableFolder());
        SetFolderText(settings->ReadString("qv5editor", "gameDir", fallback));
        settings->CloseSettings();
    }
    OpenFolder();
}

bool TfrmSelectProject::OpenFolder()
{
    projects_.clear();
    entries_.clear();
    chosen_ = -1;
    ShowChosen();
    newButton_->setEnabled(false);

    installFolder_ = WithSeparator(FolderText());
    SetFolderText(installFolder_);
    if (!IsFolder(installFolder_ + "data")) {
        dialogs_.Error(installFolder_ + " is not main game folder!");
        return false;
    }
    newButton_->setEnabled(true);

    entries_ = GameEntries(installFolder_);
    for (const std::string& entry : entries_)
        projects_.push_back(entry.substr(0, entry.size() - EndingLength));
    ShowChosen();
    return true;
}

void TfrmSelectProject::ChooseProject(int index)
{
    chosen_ = index >= 0 && static_cast<size_t>(index) < projects_.size() ? index : -1;
    okButton_->setEnabled(chosen_ >= 0);
    const QSignalBlocker quiet(list_);
    if (chosen_ >= 0)
        list_->setCurrentRow(chosen_);
    else
        list_->clearSelection();
}

// Brings the list widget and "Ok" in line with the project list and choice.
void TfrmSelectProject::ShowChosen()
{
    {
        const QSignalBlocker quiet(list_);
        list_->clear();
        for (const std::string& name : projects_)
            list_->addItem(ToQ(name));
    }
    ChooseProject(chosen_);
}

bool TfrmSelectProject::OpenProject()
{
    if (chosen_ < 0)
        return false;
    // The folder as it was listed: on a file system that tells letter case
    // apart, "Name.GAME" is not "Name.game".
    projectFolder_ = WithSeparator(installFolder_ + entries_[static_cast<size_t>(chosen_)]);
    auto settings = TSettings::OpenSettings();
    settings->WriteString("qv5editor", "gameDir", installFolder_);
    settings->CloseSettings();
    accept();
    return true;
}

// A project of that name is there: its folder, also with its ending in
// other letter case, as the list would show it.
bool TfrmSelectProject::ProjectFolderExists(const std::string& name) const
{
    if (IsFolder(installFolder_ + name + Ending))
        return true;
    for (const std::string& entry : GameEntries(installFolder_))
        if (entry.size() == name.size() + EndingLength && entry.compare(0, name.size(), name) == 0 &&
            IsFolder(installFolder_ + entry))
            return true;
    return false;
}

bool TfrmSelectProject::NewProject()
{
    if (!NewEnabled())
        return false;
    const std::optional<std::string> name = dialogs_.Input("New project", "Enter project name : ", "");
    if (!name)
        return false;
    if (ProjectFolderExists(*name)) {
        dialogs_.Error("Project " + *name + " already exists!");
        return false;
    }
    // Parents before their subfolders. A folder that cannot be created is
    // passed over: loading copes with whatever is missing.
    const std::string base = installFolder_ + *name + Ending;
    const std::string sep = PathSeparator();
    const std::string images = sep + "images";
    for (const std::string& sub : {std::string(), sep + "maps", sep + "def", images, images + sep + "backgrounds",
                                   images + sep + "items", images + sep + "objects", images + sep + "textures",
                                   images + sep + "monsters"}) {
        std::error_code ec;
        fs::create_directory(fs::path(base + sub), ec);
    }
    projectFolder_ = WithSeparator(base);
    accept();
    return true;
}

void TfrmSelectProject::Exit() { reject(); }

} // namespace kestrune
