#include "agents/fileutils.h"
#include "platform/connecterror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <dirent.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes, int mode = 0644)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)), 0);
}

int modeOf(const QString &path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return static_cast<int>(info.st_mode & 07777);
}

// Watches a directory from another thread, as another user's process could: every entry in
// it, and every file the test process holds open there (an unnamed temporary has no entry),
// recording any file that group or others could read, write or run. The file already there
// when watching starts is not counted: only what is written while watching.
class ExposureWatcher
{
public:
    ExposureWatcher(const QString &directory, const QString &existing)
        : m_directory(QFile::encodeName(QDir(directory).canonicalPath()))
        , m_existing(inode(existing))
        , m_thread([this] { run(); })
    {
    }
    ~ExposureWatcher() { stop(); }

    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    // Blocks until the watcher has looked at everything at least twice from now on.
    void waitForTwoPasses() const
    {
        const int start = m_passes.load();
        while (m_passes.load() < start + 2)
            std::this_thread::yield();
    }
    int passes() const { return m_passes.load(); }
    QStringList exposures() const
    {
        const std::lock_guard lock(m_mutex);
        return m_exposures;
    }

private:
    static ino_t inode(const QString &path)
    {
        struct stat info
        {
        };
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
    }
    void check(const QByteArray &path, const QByteArray &shownAs)
    {
        struct stat info
        {
        };
        if (::stat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) && info.st_ino != m_existing
            && (info.st_mode & 077) != 0) {
            const std::lock_guard lock(m_mutex);
            m_exposures.append(QString::fromLocal8Bit(shownAs) + QStringLiteral(" mode ")
                + QString::number(info.st_mode & 0777, 8));
        }
    }
    void scan(const QByteArray &directory, bool openFiles)
    {
        DIR *dir = ::opendir(directory.constData());
        if (!dir)
            return;
        while (const dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray path = directory + '/' + name;
            if (!openFiles) {
                check(path, path);
                continue;
            }
            char target[4096];
            const ssize_t length = ::readlink(path.constData(), target, sizeof target - 1);
            if (length > 0 && QByteArray(target, length).startsWith(m_directory + '/'))
                check(path, QByteArray(target, length));
        }
        ::closedir(dir);
    }
    void run()
    {
        while (!m_stop) {
            scan(m_directory, false);
            scan(QByteArrayLiteral("/proc/self/fd"), true);
            ++m_passes;
        }
    }

    QByteArray m_directory;
    ino_t m_existing;
    std::atomic<bool> m_stop { false };
    std::atomic<int> m_passes { 0 };
    mutable std::mutex m_mutex;
    QStringList m_exposures;
    std::thread m_thread;
};

const QString textWithEveryShellCharacter
    = QStringLiteral("a'b \"c\" $HOME `id` \\n\\\\ $(x) ;|&<>*?~#!{}[]\n\tz");

} // namespace

class TestFileUtils : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void backupDirectoryStamp_data();
    void backupDirectoryStamp();
    void backupDirectoriesWithinOneSecond();
    void backupDirectoryThatCannotBeCreated();
    void backupCopies();

    void jsonObjectOfMissingFile();
    void jsonObjectFailures_data();
    void jsonObjectFailures();
    void jsonRoundTrip();
    void writeJSONObjectText();
    void writeJSONObjectMode_data();
    void writeJSONObjectMode();

    void writeSecureModes_data();
    void writeSecureModes();
    void writeSecureWithoutDirectory();
    void writeSecureNeverExposes();

    void executeOutput_data();
    void executeOutput();
    void executeFailures_data();
    void executeFailures();
    void executeLaunchErrors_data();
    void executeLaunchErrors();

    void shellQuoteText_data();
    void shellQuoteText();
    void shellQuoteReadBack_data();
    void shellQuoteReadBack();

    void makeDirectory();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    mode_t m_umask = 022;
};

void TestFileUtils::initTestCase()
{
    // With no umask at all, anything that relied on it would show up as readable by others.
    m_umask = ::umask(0);
}

void TestFileUtils::cleanupTestCase()
{
    ::umask(m_umask);
}

void TestFileUtils::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestFileUtils::backupDirectoryStamp_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("stamp");
    QTest::newRow("utc") << QDateTime(QDate(2026, 12, 5), QTime(12, 40, 10), Qt::UTC)
                         << "2026-12-05T12-40-10Z";
    QTest::newRow("milliseconds dropped")
        << QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 999), Qt::UTC) << "2026-01-02T03-04-05Z";
    QTest::newRow("offset turned into UTC")
        << QDateTime(QDate(2026, 12, 6), QTime(1, 0, 0), QTimeZone(8 * 3600)) << "2026-12-05T17-00-00Z";
}

void TestFileUtils::backupDirectoryStamp()
{
    QFETCH(QDateTime, now);
    QFETCH(QString, stamp);
    const QString home = m_dir->path();
    const QString directory = FileUtils::backupDirectory(home, now);
    QCOMPARE(directory, home + QStringLiteral("/.config/velmora-connect/backups/") + stamp);
    QVERIFY(QFileInfo(directory).isDir());
    // Copies of key files of any mode go in: the directory is the owner's alone.
    QCOMPARE(modeOf(directory), 0700);
}

void TestFileUtils::backupDirectoriesWithinOneSecond()
{
    const QString home = m_dir->path();
    const QDateTime now(QDate(2026, 12, 5), QTime(12, 40, 10), Qt::UTC);
    const QString base = home + QStringLiteral("/.config/velmora-connect/backups/2026-12-05T12-40-10Z");

    // Three operations in the same second each get a directory of their own, and each backs
    // up its own copy of the same file.
    const QString config = home + QStringLiteral("/config.toml");
    QStringList directories;
    for (int operation = 1; operation <= 3; ++operation) {
        writeBytes(config, "version " + QByteArray::number(operation) + '\n');
        const QString directory = FileUtils::backupDirectory(home, now);
        FileUtils::backupFile(config, directory);
        directories.append(directory);
    }
    QCOMPARE(directories, (QStringList { base, base + QStringLiteral("-2"), base + QStringLiteral("-3") }));
    for (int operation = 1; operation <= 3; ++operation)
        QCOMPARE(readAll(directories[operation - 1] + QStringLiteral("/config.toml")),
            "version " + QByteArray::number(operation) + '\n');
}

void TestFileUtils::backupDirectoryThatCannotBeCreated()
{
    // A file where the backups folder belongs: the directory cannot be made. That is not an
    // error here; the first copy into it fails instead.
    const QString home = m_dir->path();
    QVERIFY(QDir().mkpath(home + QStringLiteral("/.config/velmora-connect")));
    writeBytes(home + QStringLiteral("/.config/velmora-connect/backups"), "in the way");
    const QDateTime now(QDate(2026, 12, 5), QTime(12, 40, 10), Qt::UTC);
    const QString directory = FileUtils::backupDirectory(home, now);
    QCOMPARE(directory, home + QStringLiteral("/.config/velmora-connect/backups/2026-12-05T12-40-10Z"));
    QVERIFY(!QFileInfo(directory).exists());

    const QString config = home + QStringLiteral("/config.toml");
    writeBytes(config, "x");
    QVERIFY_THROWS_EXCEPTION(PlatformError, FileUtils::backupFile(config, directory));
}

void TestFileUtils::backupCopies()
{
    const QString home = m_dir->path();
    const QString directory = FileUtils::backupDirectory(home, QDateTime::currentDateTimeUtc());
    const QString auth = home + QStringLiteral("/auth.json");
    writeBytes(auth, "{\"OPENAI_API_KEY\": \"sk-1\"}\n", 0600);

    FileUtils::backupFile(home + QStringLiteral("/missing.json"), directory);
    FileUtils::backupFile(auth, directory);
    QCOMPARE(
        QDir(directory).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("auth.json") });
    QCOMPARE(readAll(directory + QStringLiteral("/auth.json")), "{\"OPENAI_API_KEY\": \"sk-1\"}\n");
    // A copy of a file holding a key stays closed to others.
    QCOMPARE(modeOf(directory + QStringLiteral("/auth.json")), 0600);

    // A second copy of the same name into the same directory fails, and the first stays.
    writeBytes(auth, "changed", 0600);
    QVERIFY_THROWS_EXCEPTION(PlatformError, FileUtils::backupFile(auth, directory));
    QCOMPARE(readAll(directory + QStringLiteral("/auth.json")), "{\"OPENAI_API_KEY\": \"sk-1\"}\n");
}

void TestFileUtils::jsonObjectOfMissingFile()
{
    QCOMPARE(FileUtils::jsonObject(m_dir->filePath(QStringLiteral("opencode.json"))), QJsonObject());
}

void TestFileUtils::jsonObjectFailures_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected"); // the exact ConnectError text, or empty for a PlatformError
    QTest::addColumn<QByteArray>("parserInput"); // the parser's own error for this, when expected is empty

    QTest::newRow("array") << QByteArray("[]") << "opencode.json 不是可合并的 JSON 对象" << QByteArray();
    QTest::newRow("nested arrays") << QByteArray("[[{}]]\n") << "opencode.json 不是可合并的 JSON 对象"
                                   << QByteArray();
    // A lone value at the top is not JSON text to the parser.
    QTest::newRow("string") << QByteArray("\"text\"\n") << QString() << QByteArray("\"text\"\n");
    QTest::newRow("number") << QByteArray("42") << QString() << QByteArray("42");
    QTest::newRow("empty file") << QByteArray() << QString() << QByteArray();
    QTest::newRow("only white space") << QByteArray(" \n") << QString() << QByteArray(" \n");
    QTest::newRow("cut short") << QByteArray("{\"a\": ") << QString() << QByteArray("{\"a\": ");
    QTest::newRow("trailing comma") << QByteArray("{\"a\": 1,}") << QString() << QByteArray("{\"a\": 1,}");
    // Qt holds integers exactly within 64 bits only; a larger one would be written back
    // changed, so the file is not merged at all.
    QTest::newRow("integer of 2^63") << QByteArray("{\"id\": 9223372036854775808}")
                                     << "opencode.json 不是可合并的 JSON 对象" << QByteArray();
    QTest::newRow("integer below -2^63") << QByteArray("{\"a\": [1, {\"id\": -9223372036854775809}]}")
                                         << "opencode.json 不是可合并的 JSON 对象" << QByteArray();
}

void TestFileUtils::jsonObjectFailures()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QFETCH(QByteArray, parserInput);
    const QString path = m_dir->filePath(QStringLiteral("opencode.json"));
    writeBytes(path, content);
    try {
        FileUtils::jsonObject(path);
        QFAIL("no error");
    } catch (const ConnectError &error) {
        QCOMPARE(error.message(), expected);
    } catch (const PlatformError &error) {
        QVERIFY2(expected.isEmpty(), qPrintable(error.description()));
        QJsonParseError parserError;
        QJsonDocument::fromJson(parserInput, &parserError);
        QVERIFY(parserError.error != QJsonParseError::NoError);
        QVERIFY2(error.description().contains(parserError.errorString()), qPrintable(error.description()));
        QVERIFY(error.description().contains(QStringLiteral("opencode.json")));
    }
}

void TestFileUtils::jsonRoundTrip()
{
    // Everything a merge does not own comes back unchanged: integers past 2^53 up to the
    // 64-bit limits, nested containers, strings with escapes, null, booleans, fractions.
    const QByteArray original = R"({
  "zeta": {"id": 9007199254740993, "max": 9223372036854775807, "min": -9223372036854775808},
  "alpha": [1, 2.5, -0.25, true, false, null, "x", [], {}, [[{"deep": [9007199254740993]}]]],
  "text": "line\nbreak \"quoted\" \\ / tab\t é 中文 \ud83d\ude00 \u0001",
  "Upper": 1e21,
  "big as text": "\\\"99999999999999999999999",
  "": "empty key"
}
)";
    const QString path = m_dir->filePath(QStringLiteral("crush.json"));
    writeBytes(path, original);
    const QJsonObject object = FileUtils::jsonObject(path);
    FileUtils::writeJSONObject(object, path);

    const QByteArray expected
        = QByteArrayLiteral("{\n"
                            "    \"\": \"empty key\",\n"
                            "    \"Upper\": 1e+21,\n"
                            "    \"alpha\": [\n"
                            "        1,\n"
                            "        2.5,\n"
                            "        -0.25,\n"
                            "        true,\n"
                            "        false,\n"
                            "        null,\n"
                            "        \"x\",\n"
                            "        [\n"
                            "        ],\n"
                            "        {\n"
                            "        },\n"
                            "        [\n"
                            "            [\n"
                            "                {\n"
                            "                    \"deep\": [\n"
                            "                        9007199254740993\n"
                            "                    ]\n"
                            "                }\n"
                            "            ]\n"
                            "        ]\n"
                            "    ],\n"
                            "    \"big as text\": \"\\\\\\\"99999999999999999999999\",\n"
                            "    \"text\": \"line\\nbreak \\\"quoted\\\" \\\\ / tab\\t é 中文 😀 \\u0001\",\n"
                            "    \"zeta\": {\n"
                            "        \"id\": 9007199254740993,\n"
                            "        \"max\": 9223372036854775807,\n"
                            "        \"min\": -9223372036854775808\n"
                            "    }\n"
                            "}\n");
    QCOMPARE(readAll(path), expected);
    // Read back, it is the same object again.
    QCOMPARE(FileUtils::jsonObject(path), object);
    QCOMPARE(object.value(QStringLiteral("zeta")).toObject().value(QStringLiteral("id")).toInteger(),
        Q_INT64_C(9007199254740993));
}

void TestFileUtils::writeJSONObjectText()
{
    // Built in no particular order; written with the keys ascending at every level and
    // exactly one line feed at the end.
    QJsonObject inner;
    inner.insert(QStringLiteral("options"),
        QJsonObject { { QStringLiteral("baseURL"), QStringLiteral("http://h/v1") } });
    inner.insert(QStringLiteral("name"), QStringLiteral("Velmora"));
    inner.insert(QStringLiteral("models"),
        QJsonObject { { QStringLiteral("b"), QJsonObject() }, { QStringLiteral("a"), QJsonObject() } });
    QJsonObject object;
    object.insert(QStringLiteral("provider"), QJsonObject { { QStringLiteral("velmora"), inner } });
    object.insert(QStringLiteral("中文"), 1);
    object.insert(QStringLiteral("$schema"), QStringLiteral("https://opencode.ai/config.json"));
    object.insert(QStringLiteral("Zed"), true);
    object.insert(QStringLiteral("é"), QJsonValue::Null);

    const QString path = m_dir->filePath(QStringLiteral("opencode.json"));
    FileUtils::writeJSONObject(object, path);
    const QByteArray expected = QByteArrayLiteral("{\n"
                                                  "    \"$schema\": \"https://opencode.ai/config.json\",\n"
                                                  "    \"Zed\": true,\n"
                                                  "    \"provider\": {\n"
                                                  "        \"velmora\": {\n"
                                                  "            \"models\": {\n"
                                                  "                \"a\": {\n"
                                                  "                },\n"
                                                  "                \"b\": {\n"
                                                  "                }\n"
                                                  "            },\n"
                                                  "            \"name\": \"Velmora\",\n"
                                                  "            \"options\": {\n"
                                                  "                \"baseURL\": \"http://h/v1\"\n"
                                                  "            }\n"
                                                  "        }\n"
                                                  "    },\n"
                                                  "    \"é\": null,\n"
                                                  "    \"中文\": 1\n"
                                                  "}\n");
    QCOMPARE(readAll(path), expected);

    FileUtils::writeJSONObject(QJsonObject(), path);
    QCOMPARE(readAll(path), QByteArray("{\n}\n"));
}

void TestFileUtils::writeJSONObjectMode_data()
{
    QTest::addColumn<int>("oldMode");
    QTest::newRow("new file") << -1;
    QTest::newRow("0644") << 0644;
    QTest::newRow("0666") << 0666;
    QTest::newRow("0755") << 0755;
    QTest::newRow("0400") << 0400;
}

void TestFileUtils::writeJSONObjectMode()
{
    QFETCH(int, oldMode);
    const QString path = m_dir->filePath(QStringLiteral("auth.json"));
    if (oldMode >= 0)
        writeBytes(path, "{}", oldMode);
    FileUtils::writeJSONObject(
        QJsonObject { { QStringLiteral("OPENAI_API_KEY"), QStringLiteral("sk-x") } }, path);
    QCOMPARE(modeOf(path), 0600);
    QCOMPARE(readAll(path), QByteArray("{\n    \"OPENAI_API_KEY\": \"sk-x\"\n}\n"));
}

void TestFileUtils::writeSecureModes_data()
{
    QTest::addColumn<int>("oldMode");
    QTest::addColumn<int>("mode");
    QTest::newRow("script, new") << -1 << 0700;
    QTest::newRow("script over 0755") << 0755 << 0700;
    QTest::newRow("script over 0666") << 0666 << 0700;
    QTest::newRow("config, new") << -1 << 0600;
    QTest::newRow("config over 0644") << 0644 << 0600;
    QTest::newRow("config over 0700") << 0700 << 0600;
}

void TestFileUtils::writeSecureModes()
{
    QFETCH(int, oldMode);
    QFETCH(int, mode);
    const QString path = m_dir->filePath(QStringLiteral("velmora-claude"));
    if (oldMode >= 0)
        writeBytes(path, "old text that is longer than the new one\n", oldMode);
    FileUtils::writeSecure(QStringLiteral("#!/bin/sh\necho 中文\n"), path, mode);
    QCOMPARE(readAll(path), QByteArray("#!/bin/sh\necho 中文\n"));
    QCOMPARE(modeOf(path), mode);
    QFileInfo info(path);
    QCOMPARE(info.ownerId(), ::getuid());
    // Nothing is left beside it.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList { QStringLiteral("velmora-claude") });
}

void TestFileUtils::writeSecureWithoutDirectory()
{
    const QString path = m_dir->filePath(QStringLiteral("missing/auth.json"));
    QVERIFY_THROWS_EXCEPTION(PlatformError, FileUtils::writeSecure(QStringLiteral("x"), path, 0600));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("missing"))));
}

void TestFileUtils::writeSecureNeverExposes()
{
    const QString directory = m_dir->path();
    const QString path = m_dir->filePath(QStringLiteral("auth.json"));
    const QString text = QString(QStringLiteral("sk-secret-")).repeated(1024 * 1024);

    {
        // The watcher does see a file open to others: a save that sets the mode only after
        // writing, over a file readable by all, writes into a temporary of the old mode.
        writeBytes(path, "{}", 0644);
        ExposureWatcher watcher(directory, path);
        QSaveFile naive(path);
        QVERIFY(naive.open(QIODevice::WriteOnly));
        naive.write(text.toUtf8());
        watcher.waitForTwoPasses();
        QVERIFY(naive.commit());
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        watcher.stop();
        QVERIFY(!watcher.exposures().isEmpty());
    }

    // The real thing, over a file readable and writable by all and over no file at all,
    // never shows a file or a temporary that others could open.
    for (int round = 0; round < 4; ++round) {
        if (round % 2 == 0)
            writeBytes(path, "{}", 0666);
        else
            QVERIFY(QFile::remove(path));
        ExposureWatcher watcher(directory, path);
        FileUtils::writeSecure(text, path, 0600);
        watcher.stop();
        QVERIFY(watcher.passes() > 0);
        QVERIFY2(watcher.exposures().isEmpty(), qPrintable(watcher.exposures().join(u'\n')));
        QCOMPARE(modeOf(path), 0600);
        QCOMPARE(QFileInfo(path).size(), text.size());
    }
}

void TestFileUtils::executeOutput_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");
    QTest::newRow("untrimmed") << "printf ' sk-1\\n\\n'"
                               << " sk-1\n\n";
    QTest::newRow("standard error not mixed in") << "echo out; echo err >&2; echo out2"
                                                 << "out\nout2\n";
    QTest::newRow("much on standard error") << "head -c 1000000 /dev/zero | tr '\\0' e >&2; printf done"
                                            << "done";
    QTest::newRow("UTF-8") << "printf '中文 é'"
                           << "中文 é";
    QTest::newRow("not UTF-8 is empty") << "printf 'a\\377b'"
                                        << "";
    QTest::newRow("nothing") << "true"
                             << "";
}

void TestFileUtils::executeOutput()
{
    QFETCH(QString, script);
    QFETCH(QString, expected);
    QCOMPARE(FileUtils::execute(QStringLiteral("/bin/sh"), { QStringLiteral("-c"), script }), expected);
}

void TestFileUtils::executeFailures_data()
{
    QTest::addColumn<QString>("script");
    QTest::newRow("status 1, silent") << "exit 1";
    QTest::newRow("status 1 after much output")
        << "head -c 200000 /dev/zero | tr '\\0' o; echo err >&2; exit 1";
    QTest::newRow("status 44") << "echo 'security: not found' >&2; exit 44";
    QTest::newRow("status 255") << "exit 255";
    QTest::newRow("killed") << "kill -9 $$";
}

void TestFileUtils::executeFailures()
{
    QFETCH(QString, script);
    try {
        FileUtils::execute(QStringLiteral("/bin/sh"), { QStringLiteral("-c"), script });
        QFAIL("no error");
    } catch (const ConnectError &error) {
        QCOMPARE(error.message(), QStringLiteral("本机配置命令失败"));
    }
}

void TestFileUtils::executeLaunchErrors_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("systemText");
    QTest::newRow("missing") << "missing-tool" << -1 << QString::fromLocal8Bit(std::strerror(ENOENT));
    QTest::newRow("not executable") << "plain-file" << 0644 << QString::fromLocal8Bit(std::strerror(EACCES));
}

void TestFileUtils::executeLaunchErrors()
{
    QFETCH(QString, name);
    QFETCH(int, mode);
    QFETCH(QString, systemText);
    const QString tool = m_dir->filePath(name);
    if (mode >= 0)
        writeBytes(tool, "#!/bin/sh\necho hi\n", mode);
    try {
        FileUtils::execute(tool, { QStringLiteral("find-generic-password") });
        QFAIL("no error");
    } catch (const ConnectError &error) {
        QFAIL(
            qPrintable(QStringLiteral("a command failure instead of the launch error: ") + error.message()));
    } catch (const PlatformError &error) {
        QVERIFY2(error.description().contains(systemText), qPrintable(error.description()));
    }
}

void TestFileUtils::shellQuoteText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("empty") << ""
                           << "''";
    QTest::newRow("no apostrophe") << "velmora-connect:h-443:a-b-c:12"
                                   << "'velmora-connect:h-443:a-b-c:12'";
    QTest::newRow("letter, apostrophe, letter") << "a'b"
                                                << "'a'\"'\"'b'";
    QTest::newRow("only apostrophes") << "''"
                                      << "''\"'\"''\"'\"''";
}

void TestFileUtils::shellQuoteText()
{
    QFETCH(QString, text);
    QFETCH(QString, quoted);
    QCOMPARE(FileUtils::shellQuote(text), quoted);
}

void TestFileUtils::shellQuoteReadBack_data()
{
    QTest::addColumn<QString>("shell");
    QTest::addColumn<QString>("text");
    const QStringList shells { QStringLiteral("/bin/sh"), QStringLiteral("/bin/bash") };
    const QList<std::pair<const char *, QString>> texts {
        { "empty", QString() },
        { "apostrophe", QStringLiteral("it's") },
        { "apostrophes at the ends", QStringLiteral("'x'") },
        { "dollar", QStringLiteral("$HOME ${USER} $1 $$") },
        { "backticks", QStringLiteral("`id` $(id)") },
        { "backslashes", QStringLiteral("a\\b\\\\c\\n\\") },
        { "double quotes", QStringLiteral("\"quoted\" \"") },
        { "spaces", QStringLiteral("  two  spaces  ") },
        { "line feeds", QStringLiteral("\nfirst\nsecond\n\n") },
        { "glob and operators", QStringLiteral("* ? [a] ~ ; | & < > # ! { }") },
        { "everything", textWithEveryShellCharacter },
        { "CJK", QStringLiteral("渠道 '接口'") },
    };
    for (const QString &shell : shells) {
        for (const auto &[name, text] : texts)
            QTest::newRow(
                qPrintable(QFileInfo(shell).fileName() + QStringLiteral(": ") + QLatin1String(name)))
                << shell << text;
    }
}

void TestFileUtils::shellQuoteReadBack()
{
    QFETCH(QString, shell);
    QFETCH(QString, text);
    // The quoted word is placed in a script file, as the launchers do, and printed back.
    const QString script = m_dir->filePath(QStringLiteral("print.sh"));
    FileUtils::writeSecure(QStringLiteral("value=") + FileUtils::shellQuote(text)
            + QStringLiteral("\nprintf '%s' \"$value\"\nprintf '|%s' ") + FileUtils::shellQuote(text)
            + QStringLiteral("\n"),
        script, 0700);
    QProcess process;
    process.start(shell, { script });
    QVERIFY(process.waitForFinished(-1));
    QCOMPARE(process.readAllStandardError(), QByteArray());
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), text + u'|' + text);
}

void TestFileUtils::makeDirectory()
{
    const QString path = m_dir->filePath(QStringLiteral("a/b/c"));
    FileUtils::makeDirectory(path);
    QVERIFY(QFileInfo(path).isDir());
    FileUtils::makeDirectory(path); // existing: fine

    const QString blocked = m_dir->filePath(QStringLiteral("file"));
    writeBytes(blocked, "x");
    QVERIFY_THROWS_EXCEPTION(PlatformError, FileUtils::makeDirectory(blocked + QStringLiteral("/sub")));
}

QTEST_GUILESS_MAIN(TestFileUtils)
#include "tst_fileutils.moc"
