#pragma once

#include <QString>

// An initialisation file with the semantics of the Windows private-profile functions:
// sections and keys without regard to case, each write its own read-modify-write that keeps
// every other line, a new version written atomically. Text in the system's 8-bit encoding.
class IniFile final
{
public:
    explicit IniFile(QString path);
    const QString& Path() const { return FPath; }

    // At most 2047 characters; `def` when the file, section or key is missing.
    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // Decimal, "0x"/"0X" hex (longer than 2 characters) or "$" hex; anything else gives `def`.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    bool ReadBool(const QString& section, const QString& key, bool def) const;

    // Throws TiktakonError("Unable to write to <full path>") when the key cannot be written.
    void WriteString(const QString& section, const QString& key, const QString& value) const;
    void WriteInteger(const QString& section, const QString& key, int value) const;
    void WriteBool(const QString& section, const QString& key, bool value) const;
    // Makes sure everything written is on disk.
    void Flush() const;

private:
    QString FPath;
};
