#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>

// The file and command utilities every writer is built from. Failures are thrown as
// ConnectError (the product's own texts) or PlatformError (the system's description).
namespace FileUtils {

inline constexpr int configMode = 0600; // configuration, JSON and property-list files
inline constexpr int scriptMode = 0700; // scripts

// "<appFolder>/backups/<stamp>", the stamp being `now` in UTC as
// 2026-12-05T12-40-10Z. Each call makes a new directory: when that one exists already, the
// stamp is followed by "-2", "-3", …, so that no backup is ever overwritten. A failure to
// create it is ignored here (the first copy into it then fails).
QString backupDirectory(const QString &appFolder, const QDateTime &now);

// Copies `path` (for a link, the file it leads to) into `backupDir` under its own file name
// when it exists. Anything other than a regular file is refused before it is opened.
void backupFile(const QString &path, const QString &backupDir);

// The bytes of the regular file at `path` (through a link, of the file it leads to); throws for
// anything else. Stat before open: opening a FIFO or a device where a file belongs could block
// for good.
QByteArray regularFileBytes(const QString &path);

// The JSON object in `path`: empty when the file is missing; the read or parse error;
// "<file name> 不是可合并的 JSON 对象" when it holds JSON that is not an object; the file and
// the number when it holds an integer beyond 64 bits, which could not be written back exactly.
// Anything other than a regular file is refused before it is opened.
QJsonObject jsonObject(const QString &path);

// Pretty-printed, keys sorted at every level, one final line feed, mode 0600.
void writeJSONObject(const QJsonObject &object, const QString &path);
// The bytes writeJSONObject() writes for `object`.
QByteArray jsonFileBytes(const QJsonObject &object);

// Writes `text` as UTF-8 atomically, through a link to the file it leads to; the file never
// has a mode other than `mode`, not even for a moment. On failure (a full disk) the old file
// keeps its bytes and the error names the file. The parent directory must exist.
void writeSecure(const QString &text, const QString &path, int mode);

// A single POSIX shell word that expands to exactly `text`.
QString shellQuote(const QString &text);

// Whether `bytes` are exactly what the app writes to a file.
using WrittenTest = std::function<bool(const QByteArray &bytes)>;

// Clearing's removal of the file at `path`, first copied into `backupDir`; nothing when
// nothing is there. Writes go through links (users keep their dotfiles in repositories), so
// for a link that leads to a regular file holding what the app wrote (`isWritten`), this
// removes that file; the link stays and leads the next write to the same place. Any other
// link (to the user's own file, to a folder) is removed alone, and its copy in `backupDir` is
// the link itself: what it leads to, the app never wrote.
void removeFile(const QString &path, const QString &backupDir, const WrittenTest &isWritten);

// Creates a directory with its intermediates; throws the system's description on failure.
void makeDirectory(const QString &path);

// Creates a folder of the app's own (~/.config/velmora-connect and those under it) as 0700
// whatever the umask: it holds backups of files with keys, and Gemini CLI skips a settings file
// in a folder that others could write to. `path` itself is made 0700 when it exists already;
// a missing parent is created as makeDirectory() does, and an existing one is left as it is.
void makePrivateDirectory(const QString &path);

} // namespace FileUtils
