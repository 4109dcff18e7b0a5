#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>
#include <sys/stat.h>

// Small file helpers for tests that look at what was written.

// The whole file; empty when it cannot be opened.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The permission bits (with set-id and sticky bits), -1 when the file is missing.
inline int fileMode(const QString &path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// Writes `bytes` plainly (not the way the product writes), parent folders first, and gives the
// file `mode`. False when any step fails.
inline bool writeFile(const QString &path, const QByteArray &bytes, int mode = 0644)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

// Mounts a 64 KiB tmpfs on `directory` (the tests run as root) and fills it up to `free`
// bytes; false where mounting is not permitted. Unmount with unmountSmallDisk().
inline bool mountSmallDisk(const QString &directory, qint64 free)
{
    const QStringList arguments { QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
        QStringLiteral("size=64k"), QStringLiteral("tmpfs"), directory };
    if (QProcess::execute(QStringLiteral("mount"), arguments) != 0)
        return false;
    QFile filler(directory + QStringLiteral("/filler"));
    if (filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        while (filler.write(QByteArray(4096, 'x')) == 4096) { }
        filler.resize(filler.size() - free);
    }
    return true;
}

inline void unmountSmallDisk(const QString &directory)
{
    QProcess::execute(QStringLiteral("umount"), { directory });
}
