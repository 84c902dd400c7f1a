#include "controls/userdialogs.h"

#include "controls/picturedialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QString>

namespace kestrune {

QString ToQ(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<int>(s.size())); }

std::string FromQ(const QString& s) { return s.toLatin1().toStdString(); }

namespace {
QString Title() { return QApplication::applicationName(); }
} // namespace

void QtUserDialogs::Error(const std::string& text)
{
    QMessageBox::critical(parent_, Title(), ToQ(text), QMessageBox::Ok);
}

bool QtUserDialogs::Confirm(const std::string& text)
{
    return QMessageBox::warning(parent_, Title(), ToQ(text), QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

UserDialogs::Answer QtUserDialogs::YesNoCancel(const std::string& text)
{
    const auto a = QMessageBox::question(parent_, Title(), ToQ(text),
                                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                         QMessageBox::Yes);
    if (a == QMessageBox::Yes)
        return Answer::Yes;
    if (a == QMessageBox::No)
        return Answer::No;
    return Answer::Cancel;
}

std::optional<std::string> QtUserDialogs::Input(const std::string& caption, const std::string& prompt,
                                                const std::string& value)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent_, ToQ(caption), ToQ(prompt), QLineEdit::Normal, ToQ(value), &ok);
    if (!ok)
        return std::nullopt;
    return FromQ(text);
}

} // namespace kestrune

namespace kestrune {

std::optional<std::string> QtUserDialogs::OpenPicture(const std::string& title, const std::string& folder)
{
    TPictureDialog dialog(parent_, ToQ(title), ToQ(folder));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString file = dialog.selectedFiles().constFirst();
    if (file.isEmpty())
        return std::nullopt;
    return file.toLocal8Bit().toStdString();
}

} // namespace kestrune
