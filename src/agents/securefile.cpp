#include "securefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace SecureFile {

QString write(const QString &path, QByteArrayView bytes, int mode)
{
    // Refused before anything is touched: the chmod below would follow a link to a folder.
    const QString refused = irregularity(path);
    if (!refused.isEmpty())
        return refused;
    QSaveFile file(path);
    // The temporary is created with the old file's mode (or as the umask allows). Where it
    // gets a name at once (no O_TMPFILE), another user could open it in that moment and read
    // what follows, so it is created closed to group and others; then it gets its final mode
    // before the first byte reaches it.
    // Unbuffered: a buffered write only fills Qt's buffer, and the commit of a buffer that
    // could not be written (a full disk) would still replace the target.
    // QSaveFile gives the temporary the old file's mode as it opens it, before the fchmod below
    // can narrow it: an old file open to others is narrowed to the final mode first (through a
    // link, its target: the file written).
    if (QFileInfo::exists(path))
        ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode));
    const mode_t umask = ::umask(077);
    const bool opened = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    ::umask(umask);
    if (!opened)
        return file.errorString();
    if (::fchmod(file.handle(), static_cast<mode_t>(mode)) != 0) {
        const int error = errno;
        file.cancelWriting();
        return QString::fromLocal8Bit(std::strerror(error));
    }
    if (file.write(bytes.data(), bytes.size()) != bytes.size()) {
        // A short write (the disk filled up part way) sets no error of Qt's own.
        const int error = errno;
        const QString description = file.error() != QFileDevice::NoError
            ? file.errorString()
            : QString::fromLocal8Bit(std::strerror(error != 0 ? error : EIO));
        file.cancelWriting();
        return description;
    }
    if (!file.commit())
        return file.errorString();
    // QSaveFile gives the new file the old one's mode; chmod(2) follows a link to its target,
    // which is the file written.
    if (::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return {};
}

QString irregularity(const QString &path)
{
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || S_ISREG(status.st_mode))
        return {};
    return QStringLiteral("not a regular file");
}

} // namespace SecureFile
