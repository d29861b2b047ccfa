#include "platform/PlatformError.h"
#include "platform/SettingsStore.h"
#include "platform/XdgPaths.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

namespace {

const QString Offline = registry::GlobalUserOffline.toString();
const QString Images =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main\\Display Inline Images"_s;
const QString Dword = u"REG_DWORD"_s;

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString failureOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const PlatformError &error) {
        return error.description();
    }
    return QString();
}

} // namespace

class TestSettingsStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void writeAndReadBack_data();
    void writeAndReadBack();
    void missingValueAndBuiltInVersion();
    void writesWholeFilesOnly();
    void damagedFile_data();
    void damagedFile();
    void userStoreAndOfflineSetting();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

void TestSettingsStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_file = m_dir->filePath(u"sub/settings.json"_s);
}

void TestSettingsStore::writeAndReadBack_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("data");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QVariant>("expected"); // read back under Images
    QTest::addColumn<QString>("failure");   // a part of the failure's message; empty: no failure

    const auto dword = [](quint32 value) {
        return QVariant::fromValue(value);
    };
    QTest::newRow("dword largest") << Images << QVariant(qint64(4294967295)) << Dword << dword(4294967295u)
                                   << QString();
    QTest::newRow("dword negative wraps")
        << Images << QVariant(-1) << Dword << dword(4294967295u) << QString();
    QTest::newRow("dword from text") << Images << QVariant(u" 7"_s) << Dword << dword(7) << QString();
    QTest::newRow("type in lower case") << Images << QVariant(1) << u"reg_dword"_s << dword(1) << QString();
    QTest::newRow("number as text") << Images << QVariant(5) << u"REG_SZ"_s << QVariant(u"5"_s) << QString();
    QTest::newRow("text") << Images << QVariant(u"да \"нет\"\\"_s) << u"REG_SZ"_s
                          << QVariant(u"да \"нет\"\\"_s) << QString();
    QTest::newRow("name in another case, root abbreviated")
        << u"hkcu"_s + Images.mid(17).toUpper() << QVariant(1) << Dword << dword(1) << QString();

    QTest::newRow("unknown type") << Images << QVariant(u"no"_s) << u"REG_BINARY"_s << QVariant()
                                  << u"REG_BINARY"_s;
    QTest::newRow("dword from words") << Offline << QVariant(u"one"_s) << Dword << QVariant() << u"32 bits"_s;
    QTest::newRow("dword too large") << Offline << QVariant(qint64(4294967296)) << Dword << QVariant()
                                     << u"32 bits"_s;
    QTest::newRow("dword fraction") << Offline << QVariant(1.5) << Dword << QVariant() << u"32 bits"_s;
    QTest::newRow("text of nothing") << Images << QVariant() << u"REG_SZ"_s << QVariant() << u"REG_SZ"_s;
    QTest::newRow("unknown root") << u"HKEY_NOWHERE\\Software\\x"_s << QVariant(1) << Dword << QVariant()
                                  << u"Invalid root"_s;
}

void TestSettingsStore::writeAndReadBack()
{
    QFETCH(QString, name);
    QFETCH(QVariant, data);
    QFETCH(QString, type);
    QFETCH(QVariant, expected);
    QFETCH(QString, failure);

    SettingsStore store(m_file);
    store.RegWrite(Offline, 0, Dword);
    store.RegWrite(Images, u"before"_s, u"REG_SZ"_s);
    const QByteArray before = contentsOf(m_file);
    const QString message = failureOf([&] { store.RegWrite(name, data, type); });
    if (!failure.isEmpty()) {
        QVERIFY2(message.contains(failure), qPrintable(message));
        QCOMPARE(contentsOf(m_file), before);
        return;
    }
    QVERIFY2(message.isEmpty(), qPrintable(message));
    const QVariant read = SettingsStore(m_file).RegRead(Images);
    QCOMPARE(read.metaType(), expected.metaType());
    QCOMPARE(read, expected);
    // Replaced, not added under another spelling.
    QCOMPARE(QJsonDocument::fromJson(contentsOf(m_file))[u"values"_s].toObject().size(), 2);
}

void TestSettingsStore::missingValueAndBuiltInVersion()
{
    SettingsStore store(m_file);
    QVERIFY2(failureOf([&] { store.RegRead(Images); }).contains(Images), "no file at all");
    // The built-in answer is one for which the browser settings menu is offered.
    QVERIFY(store.RegRead(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\version"_s)
                .toString()
                .startsWith(u"6."));
    QVERIFY(!QFile::exists(m_file)); // reading writes nothing

    store.RegWrite(registry::BrowserVersion.toString(), u"7.0.5730.13"_s, u"REG_SZ"_s);
    QCOMPARE(store.RegRead(registry::BrowserVersion.toString()), QVariant(u"7.0.5730.13"_s));
    QVERIFY2(failureOf([&] { store.RegRead(Images); }).contains(Images), "a file without the value");
    QCOMPARE(store.find(Images), std::nullopt);
}

void TestSettingsStore::writesWholeFilesOnly()
{
    SettingsStore store(m_file);
    for (int i = 0; i < 5; ++i)
        store.RegWrite(Offline, i % 2, Dword);
    QCOMPARE(QDir(QFileInfo(m_file).path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{u"settings.json"_s}); // no leftovers of the atomic writes

    QVERIFY(QFile::remove(m_file) && QDir().mkpath(m_file)); // a folder where the file should be
    QVERIFY2(failureOf([&] { store.RegWrite(Offline, 1, Dword); }).contains(m_file), "unwritable");
}

void TestSettingsStore::damagedFile_data()
{
    QTest::addColumn<QByteArray>("contents");

    QTest::newRow("not json") << QByteArray(R"({"values": {"HKEY_CURRENT_USER\\x": )");
    QTest::newRow("array") << QByteArray("[1, 2]");
    QTest::newRow("dword holding text")
        << QByteArray(R"({"values": {"HKEY_CURRENT_USER\\x": {"type": "REG_DWORD", "data": "1"}}})");
    QTest::newRow("unknown type") << QByteArray(
        R"({"values": {"HKEY_CURRENT_USER\\x": {"type": "REG_BINARY", "data": "1"}}})");
}

void TestSettingsStore::damagedFile()
{
    QFETCH(QByteArray, contents);

    QVERIFY(QDir().mkpath(QFileInfo(m_file).path()));
    QFile file(m_file);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    file.close();
    SettingsStore store(m_file);

    const QString readFailure = failureOf([&] { store.RegRead(registry::BrowserVersion.toString()); });
    QVERIFY2(readFailure.contains(u"damaged"_s) && readFailure.contains(m_file), qPrintable(readFailure));
    const QString writeFailure = failureOf([&] { store.RegWrite(Offline, 1, Dword); });
    QVERIFY2(writeFailure.contains(u"damaged"_s), qPrintable(writeFailure));
    QCOMPARE(contentsOf(m_file), contents); // the user's file is left for them to repair
    QVERIFY_THROWS_EXCEPTION(PlatformError, isGlobalUserOffline(store));
}

void TestSettingsStore::userStoreAndOfflineSetting()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_dir->path() + u"/cache"_s));
    QCOMPARE(xdg::cacheFolder(), m_dir->path() + u"/cache/diarytrawl"_s);
    QCOMPARE(SettingsStore::defaultFilePath(), m_dir->path() + u"/diarytrawl/settings.json"_s);

    SettingsStore().RegWrite(Offline, u"1"_s, u"REG_SZ"_s);
    QVERIFY(isGlobalUserOffline(SettingsStore(m_dir->path() + u"/diarytrawl/settings.json"_s)));
    SettingsStore().RegWrite(Offline, 2, Dword); // offline is 1 alone
    QVERIFY(!isGlobalUserOffline(SettingsStore()));
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
