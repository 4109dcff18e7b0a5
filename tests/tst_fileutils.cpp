#include "agents/fileutils.h"
#include "files.h"
#include "service/connecterror.h"

#include <QDir>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

// The text of whatever `operation` throws; empty when it succeeds.
QString failureOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const Failure &failure) {
        return failure.description();
    }
    return {};
}

QStringList entries(const QString &directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
}

// Watches a directory from another thread, as another user's process could: every entry, and
// every file this process holds open there (an unnamed temporary has no entry), recording any
// file that group or others could open. The file there when watching starts does not count.
class ExposureWatcher
{
public:
    ExposureWatcher(const QString &directory, const QString &existing)
        : m_directory(QFile::encodeName(QDir(directory).canonicalPath()))
        , m_existing(inode(QFile::encodeName(existing)))
        , m_thread([this] {
            while (!m_stop) {
                scan(m_directory, false);
                scan("/proc/self/fd", true);
                ++m_passes;
            }
        })
    {
    }
    ~ExposureWatcher() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    void waitForTwoPasses() const
    {
        for (const int start = m_passes; m_passes < start + 2;)
            std::this_thread::yield();
    }
    QStringList exposures() const
    {
        const std::lock_guard lock(m_mutex);
        return m_exposures;
    }

private:
    static ino_t inode(const QByteArray &path)
    {
        struct stat info = {};
        return ::stat(path.constData(), &info) == 0 ? info.st_ino : 0;
    }
    void scan(const QByteArray &directory, bool openFiles)
    {
        DIR *dir = ::opendir(directory.constData());
        while (const dirent *entry = dir ? ::readdir(dir) : nullptr) {
            const QByteArray path = directory + '/' + entry->d_name;
            char target[4096];
            const ssize_t length = openFiles ? ::readlink(path.constData(), target, sizeof target - 1) : 0;
            if (openFiles && !(length > 0 && QByteArray(target, length).startsWith(m_directory + '/')))
                continue;
            struct stat info = {};
            if (::stat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) && info.st_ino != m_existing
                && (info.st_mode & 077) != 0) {
                const std::lock_guard lock(m_mutex);
                m_exposures.append(
                    QString::fromLocal8Bit(path) + u' ' + QString::number(info.st_mode & 0777, 8));
            }
        }
        if (dir)
            ::closedir(dir);
    }

    QByteArray m_directory;
    ino_t m_existing;
    std::atomic<bool> m_stop { false };
    std::atomic<int> m_passes { 0 };
    mutable std::mutex m_mutex;
    QStringList m_exposures;
    std::thread m_thread;
};

} // namespace

class TestFileUtils : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void backups();
    void jsonObjectFailures_data();
    void jsonObjectFailures();
    void jsonRoundTrip();
    void writeSecureModes_data();
    void writeSecureModes();
    void writeSecureNeverExposes();
    void fullDisk_data();
    void fullDisk();
    void links();
    void execute_data();
    void execute();
    void shellQuote_data();
    void shellQuote();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFileUtils::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestFileUtils::backups()
{
    const QString home = m_dir->path();
    const QDateTime now(QDate(2026, 12, 6), QTime(1, 0, 0, 999), QTimeZone(8 * 3600));
    const QString base = home + QStringLiteral("/.config/velmora-connect/backups/2026-12-05T17-00-00Z");
    // Three operations in one second get a directory each, closed to others, each with its own
    // copy of the file; a second copy into the same directory fails and keeps the first.
    const QString config = home + QStringLiteral("/config.toml");
    for (const QString &suffix : { QString(), QStringLiteral("-2"), QStringLiteral("-3") }) {
        writeFile(config, suffix.toUtf8(), 0640);
        const QString directory = FileUtils::backupDirectory(home, now);
        QCOMPARE(directory, base + suffix);
        QCOMPARE(fileMode(directory), 0700);
        FileUtils::backupFile(config, directory);
        FileUtils::backupFile(home + QStringLiteral("/missing.json"), directory);
        QCOMPARE(entries(directory), QStringList { QStringLiteral("config.toml") });
        QCOMPARE(readFile(directory + QStringLiteral("/config.toml")), suffix.toUtf8());
        QCOMPARE(fileMode(directory + QStringLiteral("/config.toml")), 0640);
    }
    writeFile(config, "changed");
    QVERIFY(failureOf([&] { FileUtils::backupFile(config, base); }).contains(base));
    QCOMPARE(readFile(base + QStringLiteral("/config.toml")), QByteArray());
}

void TestFileUtils::jsonObjectFailures_data()
{
    QTest::addColumn<QByteArray>("content"); // "<fifo>": a named pipe in place of the file
    QTest::addColumn<QString>("failure"); // the whole text, or (after "…") a part of it
    QTest::newRow("array") << QByteArray("[]") << "opencode.json 不是可合并的 JSON 对象";
    QTest::newRow("empty") << QByteArray() << "…opencode.json: illegal value";
    QTest::newRow("cut short") << QByteArray("{\"a\": ") << "…opencode.json: unterminated object";
    // Qt keeps integers exactly within 64 bits only: a larger one would be written back changed.
    QTest::newRow("integer of 2^63") << QByteArray("{\"id\": 9223372036854775808}")
                                     << "opencode.json 中的整数 9223372036854775808 超出 64 位，无法原样保留";
    QTest::newRow("integer below -2^63")
        << QByteArray("{\"a\": [\"1\", {\"id\": -9223372036854775809}]}")
        << "opencode.json 中的整数 -9223372036854775809 超出 64 位，无法原样保留";
    // Opening a pipe would wait for a writer for good.
    QTest::newRow("named pipe") << QByteArray("<fifo>") << "…opencode.json: not a regular file";
}

void TestFileUtils::jsonObjectFailures()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, failure);
    const QString path = m_dir->filePath(QStringLiteral("opencode.json"));
    std::thread unblock;
    if (content == "<fifo>") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        // Should it be opened after all, a writer turns up after a while so that the test ends.
        unblock = std::thread([path] {
            std::this_thread::sleep_for(std::chrono::seconds(2));
            QFile writer(path);
            if (writer.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                writer.write("{}");
        });
    } else {
        writeFile(path, content);
    }
    const QString text = failureOf([&] { FileUtils::jsonObject(path); });
    if (unblock.joinable())
        unblock.detach();
    if (failure.startsWith(u'…'))
        QVERIFY2(text.contains(failure.mid(1)), qPrintable(text));
    else
        QCOMPARE(text, failure);
}

void TestFileUtils::jsonRoundTrip()
{
    // What a merge does not own comes back unchanged: 64-bit integers, nesting, escapes, null,
    // booleans, fractions; keys sorted at every level, one final line feed.
    const QByteArray original = R"({"zeta": {"id": 9007199254740993, "min": -9223372036854775808},
  "alpha": [2.5, true, null, [], {}, [{"deep": [9007199254740993]}]],
  "text": "line\nbreak \"q\" \\ é 中文 \ud83d\ude00 \u0001", "Upper": 1e21, "": "empty key"})";
    const QString path = m_dir->filePath(QStringLiteral("crush.json"));
    writeFile(path, original);
    const QJsonObject object = FileUtils::jsonObject(path);
    FileUtils::writeJSONObject(object, path);
    QCOMPARE(readFile(path),
        QByteArray("{\n    \"\": \"empty key\",\n    \"Upper\": 1e+21,\n    \"alpha\": [\n        2.5,\n"
                   "        true,\n        null,\n        [\n        ],\n        {\n        },\n        [\n"
                   "            {\n                \"deep\": [\n                    9007199254740993\n"
                   "                ]\n            }\n        ]\n    ],\n"
                   "    \"text\": \"line\\nbreak \\\"q\\\" \\\\ é 中文 😀 \\u0001\",\n    \"zeta\": {\n"
                   "        \"id\": 9007199254740993,\n        \"min\": -9223372036854775808\n    }\n}\n"));
    QCOMPARE(FileUtils::jsonObject(path), object);
    QCOMPARE(fileMode(path), 0600);
}

void TestFileUtils::writeSecureModes_data()
{
    QTest::addColumn<int>("oldMode"); // -1: no file before
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("expected");
    QTest::newRow("script, new") << -1 << int(FileUtils::scriptMode) << 0700;
    QTest::newRow("script over 0666") << 0666 << int(FileUtils::scriptMode) << 0700;
    QTest::newRow("config, new") << -1 << int(FileUtils::configMode) << 0600;
    QTest::newRow("config over 0755") << 0755 << int(FileUtils::configMode) << 0600;
}

void TestFileUtils::writeSecureModes()
{
    QFETCH(int, oldMode);
    QFETCH(int, mode);
    QFETCH(int, expected);
    const QString path = m_dir->filePath(QStringLiteral("velmora-claude"));
    if (oldMode >= 0)
        writeFile(path, "old text that is longer than the new one\n", oldMode);
    FileUtils::writeSecure(QStringLiteral("#!/bin/sh\necho 中文\n"), path, mode);
    QCOMPARE(readFile(path), QByteArray("#!/bin/sh\necho 中文\n"));
    QCOMPARE(fileMode(path), expected);
    QCOMPARE(entries(m_dir->path()), QStringList { QStringLiteral("velmora-claude") });
    QVERIFY(failureOf([&] {
        FileUtils::writeSecure({}, m_dir->filePath(QStringLiteral("no/dir")), mode);
    }).contains(QStringLiteral("no/dir")));
}

void TestFileUtils::writeSecureNeverExposes()
{
    const mode_t umask = ::umask(0); // nothing left to the umask
    const QString path = m_dir->filePath(QStringLiteral("auth.json"));
    const QString text = QStringLiteral("sk-secret-").repeated(1024 * 1024);
    {
        // The watcher can see: a save that sets the mode only after writing is caught.
        writeFile(path, "{}", 0644);
        ExposureWatcher watcher(m_dir->path(), path);
        QSaveFile naive(path);
        QVERIFY(naive.open(QIODevice::WriteOnly));
        naive.write(text.toUtf8());
        watcher.waitForTwoPasses();
        QVERIFY(naive.commit());
        watcher.stop();
        QVERIFY(!watcher.exposures().isEmpty());
    }
    for (const bool existing : { true, false }) {
        if (existing)
            writeFile(path, "{}", 0666);
        else
            QVERIFY(QFile::remove(path));
        ExposureWatcher watcher(m_dir->path(), path);
        FileUtils::writeSecure(text, path, 0600);
        watcher.stop();
        QVERIFY2(watcher.exposures().isEmpty(), qPrintable(watcher.exposures().join(u'\n')));
    }
    ::umask(umask);
}

void TestFileUtils::fullDisk_data()
{
    QTest::addColumn<bool>("backup"); // a backup copy rather than a replaced file
    QTest::newRow("replaced file") << false;
    QTest::newRow("backup copy") << true;
}

void TestFileUtils::fullDisk()
{
    QFETCH(bool, backup);
    const QString disk = m_dir->filePath(QStringLiteral("disk"));
    const QString target = disk + QStringLiteral("/opencode.json");
    const QString source = m_dir->filePath(QStringLiteral("opencode.json"));
    const QByteArray text = QByteArray("{\"a\": 1}\n").repeated(1365); // less than Qt's buffer
    QVERIFY(QDir().mkpath(disk));
    // The disk has 8 KiB left; a replaced target holds its old bytes.
    if (backup)
        writeFile(source, text, 0600);
    if (!mountSmallDisk(disk, 8 * 1024))
        QSKIP("a 64 KiB tmpfs cannot be mounted here (needs root): the full-disk case is not run");
    const auto unmount = qScopeGuard([&] { unmountSmallDisk(disk); });
    if (!backup)
        writeFile(target, "{\"old\": true}\n", 0600);
    const QStringList before = entries(disk);

    const QString failure = failureOf([&] {
        if (backup)
            FileUtils::backupFile(source, disk);
        else
            FileUtils::writeSecure(QString::fromUtf8(text), target, 0600);
    });
    QVERIFY2(failure.startsWith(target + QStringLiteral(": ")), qPrintable(failure));
    QCOMPARE(entries(disk), before);
    if (!backup)
        QCOMPARE(readFile(target), QByteArray("{\"old\": true}\n"));
}

void TestFileUtils::links()
{
    // Users keep dotfiles in repositories: a write goes through the link to the file behind it,
    // a backup copies that file, and removing removes it, so nothing written stays behind.
    const QString dotfiles = m_dir->filePath(QStringLiteral("dotfiles/config.toml"));
    const QString link = m_dir->filePath(QStringLiteral("config.toml"));
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("dotfiles"))));
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("backup"))));
    writeFile(dotfiles, "own = 1\n", 0644);
    QVERIFY(QFile::link(dotfiles, link));

    FileUtils::backupFile(link, m_dir->filePath(QStringLiteral("backup")));
    FileUtils::writeSecure(QStringLiteral("model = \"m\"\n"), link, 0600);
    QCOMPARE(QFileInfo(link).symLinkTarget(), dotfiles);
    QCOMPARE(readFile(dotfiles), QByteArray("model = \"m\"\n"));
    QCOMPARE(fileMode(dotfiles), 0600);
    QCOMPARE(readFile(m_dir->filePath(QStringLiteral("backup/config.toml"))), QByteArray("own = 1\n"));

    FileUtils::removeFile(link);
    QVERIFY(!QFileInfo::exists(dotfiles));
    QCOMPARE(QFileInfo(link).symLinkTarget(), dotfiles);
}

void TestFileUtils::execute_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("input"); // null: standard input inherited
    QTest::addColumn<QString>("expected"); // "!" and the failure text when it fails
    QTest::newRow("untrimmed") << "printf ' sk-1\\n\\n'" << QString() << " sk-1\n\n";
    QTest::newRow("standard error left out")
        << "echo out; head -c 1000000 /dev/zero >&2; echo 2" << QString() << "out\n2\n";
    QTest::newRow("not UTF-8 is empty") << "printf 'a\\377b'" << QString() << "";
    QTest::newRow("input on a pipe") << "cat"
                                     << "sk-密钥\n"
                                     << "sk-密钥\n";
    QTest::newRow("status 44") << "echo 'not found' >&2; exit 44" << QString() << "!本机配置命令失败";
    QTest::newRow("killed") << "kill -9 $$" << QString() << "!本机配置命令失败";
}

void TestFileUtils::execute()
{
    QFETCH(QString, script);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QString output;
    const QString failure = failureOf([&] {
        const QStringList arguments { QStringLiteral("-c"), script };
        output = input.isNull() ? FileUtils::execute(QStringLiteral("/bin/sh"), arguments)
                                : FileUtils::execute(QStringLiteral("/bin/sh"), arguments, input);
    });
    QCOMPARE(failure.isEmpty() ? output : u'!' + failure, expected);
    // A tool that cannot be started: the system's text, not the command failure.
    const QString missing = m_dir->filePath(QStringLiteral("missing-tool"));
    QVERIFY(failureOf([&] {
        FileUtils::execute(missing, {});
    }).contains(QString::fromLocal8Bit(std::strerror(ENOENT))));
}

void TestFileUtils::shellQuote_data()
{
    QTest::addColumn<QString>("shell");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("quoted"); // empty: only read back
    for (const QString &shell : { QStringLiteral("/bin/dash"), QStringLiteral("/bin/bash") }) {
        const auto row = [&](const char *name, const QString &text, const QString &quoted = {}) {
            QTest::addRow("%s: %s", qPrintable(shell.section(u'/', -1)), name) << shell << text << quoted;
        };
        row("empty", {}, QStringLiteral("''"));
        row("letter, apostrophe, letter", QStringLiteral("a'b"), QStringLiteral("'a'\"'\"'b'"));
        row("apostrophes at the ends", QStringLiteral("'x'"));
        row("everything", QStringLiteral("a'b \"c\" $HOME ${U} `id` $(x) \\n\\\\ ;|&<>*?~#!{}[]\n\tz"));
        row("CJK and line feeds", QStringLiteral("\n渠道 '接口'\n\n"));
    }
}

void TestFileUtils::shellQuote()
{
    QFETCH(QString, shell);
    QFETCH(QString, text);
    QFETCH(QString, quoted);
    if (!quoted.isEmpty())
        QCOMPARE(FileUtils::shellQuote(text), quoted);
    // Placed in a script as the launchers do, the word reads back as the text.
    const QString script = m_dir->filePath(QStringLiteral("print.sh"));
    FileUtils::writeSecure(QStringLiteral("v=") + FileUtils::shellQuote(text)
            + QStringLiteral("\nprintf '%s|%s' \"$v\" ") + FileUtils::shellQuote(text) + u'\n',
        script, 0700);
    QProcess process;
    process.start(shell, { script });
    QVERIFY(process.waitForFinished(-1));
    QCOMPARE(process.readAllStandardError(), QByteArray());
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), text + u'|' + text);
}

QTEST_GUILESS_MAIN(TestFileUtils)
#include "tst_fileutils.moc"
