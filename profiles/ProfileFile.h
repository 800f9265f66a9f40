#pragma once

#include "ProfileRecord.h"

#include <QString>

#include <functional>

// The profile file: a plain run of 160-byte records. Each operation opens the file, does its
// one piece of work and closes it; every step is checked and a failure throws TiktakonError
// with the runtime's text ("File access denied", "Read beyond end of file", "I/O error %d", ...).
// Every record read lands in, and every record written comes from, the caller's buffer.
class ProfileFile final
{
public:
    explicit ProfileFile(QString path);
    const QString& Path() const { return FPath; }

    bool Exists() const;
    // Opens for reading and writing, creating the file empty when it is missing; closes again.
    void OpenOrCreate() const;
    // Reads every whole record in order into `buffer`, calling onRecord(k) after record k. Returns the count.
    int LoadAll(TProfileRecord& buffer, const std::function<void(int)>& onRecord) const;
    // Reads record `index` into `buffer`. Returns false (and does nothing) when the file is missing.
    bool ReadAt(int index, TProfileRecord& buffer) const;
    // Writes `buffer` at the position of the current record count (a trailing part-record is
    // replaced). `onPosition` is told the position before the write. Returns the position.
    int Append(const TProfileRecord& buffer, const std::function<void(int)>& onPosition = {}) const;
    void Overwrite(int index, const TProfileRecord& buffer) const;
    // Reads record `index`, replaces its name (cut to 25 characters), writes it back.
    void Rename(int index, const QString& name, TProfileRecord& buffer) const;
    // Removes record `index`, moving every later record one place down, and truncates.
    void Delete(int index, TProfileRecord& buffer) const;
    int RecordCount() const;

private:
    QString FPath;
};
