#pragma once

#include <QFile>
#include <QProcess>
#include <QtTest>
#include <sys/stat.h>

// Small file helpers for tests that look at what was written.

// The whole file; "<unreadable>" when it cannot be opened.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArrayLiteral("<unreadable>");
}

// The permission bits (with set-id and sticky bits), -1 when the file is missing.
inline int fileMode(const QString &path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// Writes `bytes` plainly (not the way the product writes) and gives the file `mode`.
inline void writeFile(const QString &path, const QByteArray &bytes, int mode = 0644)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
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
