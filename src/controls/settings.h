#pragma once
// The per-user settings store: one INI file standing for the root key
// "Software\Kestrune", each subkey ("qv5editor", "qv5editor\config", ...) a
// group in it. Values are text: integers as decimal digits, booleans as "0"
// or "1". The file is $KESTRUNE_SETTINGS when that is set, otherwise
// Kestrune/settings.ini in the user's configuration folder.
//
// Each user opens the store, reads or writes a group of values and closes it
// again. A store that cannot be written is not an error: the editor goes on.

#include <memory>
#include <string>

class QSettings;

namespace kestrune {

class TSettings {
public:
    ~TSettings();
    TSettings(const TSettings&) = delete;
    TSettings& operator=(const TSettings&) = delete;

    // A handle on the root key.
    static std::unique_ptr<TSettings> OpenSettings();
    // The file the store lives in.
    static std::string FilePath();

    // The value, or the default when it is missing or (for integers and
    // booleans) not a decimal integer. A boolean is true for every number but 0.
    int ReadInteger(const std::string& section, const std::string& name, int def) const;
    bool ReadBool(const std::string& section, const std::string& name, bool def) const;
    std::string ReadString(const std::string& section, const std::string& name, const std::string& def) const;

    void WriteInteger(const std::string& section, const std::string& name, int value);
    void WriteBool(const std::string& section, const std::string& name, bool value);
    void WriteString(const std::string& section, const std::string& name, const std::string& value);

    // Writes what was changed to the file.
    void CloseSettings();

private:
    TSettings();
    std::unique_ptr<QSettings> store_;
};

} // namespace kestrune
