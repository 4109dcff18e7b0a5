#pragma once

#include <QByteArrayView>
#include <QString>

// The one place where files are replaced: the application's writers and backups and the
// `launchctl` stand-in all go through it, so that a full disk or an odd file is met the same
// way everywhere. Free of the rest of the core, so that the stand-in can build it too.
namespace SecureFile {

// Replaces `path` (or, when it is a link, the file the link leads to) by `bytes` atomically:
// the file never has a mode other than `mode`, not even for a moment, and on any failure the
// old file keeps its bytes and no temporary is left. Anything but a regular file (or a link to
// one) is refused untouched. Returns the description of the failure, empty on success.
QString write(const QString &path, QByteArrayView bytes, int mode);

// Empty when `path` is missing, a regular file or a link to one; otherwise what it is
// ("not a regular file"), so that a FIFO or a device is never opened, which could block.
QString irregularity(const QString &path);

} // namespace SecureFile
