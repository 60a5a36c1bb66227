#pragma once

#include <QString>

namespace larkspan {

// Per-user text values addressed by application, section and key. Each application
// has one INI file in the user's configuration folder ($XDG_CONFIG_HOME, else
// ~/.config), readable by its owner only because it may hold a password.
class IniStore {
public:
    enum class Rewrite {
        // A new file takes the old one's place, flushed to the disk first: a crash
        // leaves either the old values or the new.
        Atomically,
        // The file is rewritten where it is, as registry values are: for hand-off values
        // written for every exported message and rewritten at the next, where a new file
        // and a disk flush each time cost more than the value is worth.
        InPlace,
    };

    IniStore(QString application, QString section, Rewrite rewrite = Rewrite::Atomically);

    // The stored text, or defaultValue when the key (or the whole file) is absent.
    QString read(const QString &key, const QString &defaultValue = QString()) const;
    // Creates or replaces the value; the file is rewritten as the store was made to,
    // with mode 0600. Returns false when the file could not be written.
    bool write(const QString &key, const QString &value);

    QString filePath() const;

private:
    QString m_application;
    QString m_section;
    Rewrite m_rewrite;
};

// The program's own store: application "Vornhelm", section "Larkspan".
IniStore &ProgramSettings();
QString ReadSetting(const QString &key, const QString &defaultValue = QString());
void WriteSetting(const QString &key, const QString &value);

// Converts stored text to an integer as the readers expect: surrounding blanks are
// ignored, a decimal fraction rounds half to even; anything else raises
// AppError "Type mismatch" (13).
int ToInteger(const QString &text);
// Reads key as an integer; an absent key gives defaultValue, a stored text that is no
// number raises AppError.
int ReadSettingInt(const QString &key, int defaultValue);

// Rounds to the nearest whole number, halves to the even one (2.5 -> 2, 3.5 -> 4).
double RoundHalfEven(double value);

} // namespace larkspan
