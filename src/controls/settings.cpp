#include "controls/settings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QString>

#include <cstdlib>
#include <limits>

namespace kestrune {

namespace {

// "qv5editor\config" -> "qv5editor/config/name"
QString Key(const std::string& section, const std::string& name)
{
    QString group = QString::fromLatin1(section.data(), static_cast<int>(section.size()));
    group.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return group + QLatin1Char('/') + QString::fromLatin1(name.data(), static_cast<int>(name.size()));
}

bool ParseDecimal(const QString& text, int& value)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    int i = (t[0] == QLatin1Char('-') || t[0] == QLatin1Char('+')) ? 1 : 0;
    if (i >= t.size())
        return false;
    long long v = 0;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        v = v * 10 + (c.unicode() - '0');
        if (v > std::numeric_limits<int>::max() + 1LL)
            return false;
    }
    if (t[0] == QLatin1Char('-'))
        v = -v;
    if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min())
        return false;
    value = static_cast<int>(v);
    return true;
}

} // namespace

TSettings::TSettings()
    : store_(std::make_unique<QSettings>(QString::fromLocal8Bit(FilePath().c_str()), QSettings::IniFormat))
{
}

TSettings::~TSettings() = default;

std::unique_ptr<TSettings> TSettings::OpenSettings() { return std::unique_ptr<TSettings>(new TSettings()); }

std::string TSettings::FilePath()
{
    if (const char* own = std::getenv("KESTRUNE_SETTINGS"); own && *own)
        return own;
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return (base + QStringLiteral("/Kestrune/settings.ini")).toLocal8Bit().toStdString();
}

int TSettings::ReadInteger(const std::string& section, const std::string& name, int def) const
{
    const QVariant v = store_->value(Key(section, name));
    int result = def;
    if (!v.isValid() || !ParseDecimal(v.toString(), result))
        return def;
    return result;
}

bool TSettings::ReadBool(const std::string& section, const std::string& name, bool def) const
{
    return ReadInteger(section, name, def ? 1 : 0) != 0;
}

std::string TSettings::ReadString(const std::string& section, const std::string& name, const std::string& def) const
{
    const QVariant v = store_->value(Key(section, name));
    if (!v.isValid())
        return def;
    return v.toString().toLatin1().toStdString();
}

void TSettings::WriteInteger(const std::string& section, const std::string& name, int value)
{
    store_->setValue(Key(section, name), QString::number(value));
}

void TSettings::WriteBool(const std::string& section, const std::string& name, bool value)
{
    store_->setValue(Key(section, name), value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TSettings::WriteString(const std::string& section, const std::string& name, const std::string& value)
{
    store_->setValue(Key(section, name), QString::fromLatin1(value.data(), static_cast<int>(value.size())));
}

void TSettings::CloseSettings() { store_->sync(); }

} // namespace kestrune
