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

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
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
    void roundTrip_data();
    void roundTrip();
    void namesIgnoreCaseAndRootAbbreviations();
    void rejectedWritesChangeNothing_data();
    void rejectedWritesChangeNothing();
    void missingValue();
    void browserVersion();
    void fileIsValidJsonWithNoLeftovers();
    void damagedFile_data();
    void damagedFile();
    void unwritableFile();
    void followsXdgConfigHome();
    void offlineSetting_data();
    void offlineSetting();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

void TestSettingsStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_file = m_dir->filePath(u"sub/settings.json"_s);
}

void TestSettingsStore::roundTrip_data()
{
    QTest::addColumn<QVariant>("data");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("dword 1") << QVariant(1) << u"REG_DWORD"_s << QVariant::fromValue(quint32(1));
    QTest::newRow("dword 0") << QVariant(0) << u"REG_DWORD"_s << QVariant::fromValue(quint32(0));
    QTest::newRow("dword largest") << QVariant(qint64(4294967295)) << u"REG_DWORD"_s
                                   << QVariant::fromValue(quint32(4294967295u));
    QTest::newRow("dword negative wraps")
        << QVariant(-1) << u"REG_DWORD"_s << QVariant::fromValue(quint32(4294967295u));
    QTest::newRow("dword from text") << QVariant(u" 7"_s) << u"REG_DWORD"_s
                                     << QVariant::fromValue(quint32(7));
    QTest::newRow("dword from whole double")
        << QVariant(3.0) << u"REG_DWORD"_s << QVariant::fromValue(quint32(3));
    QTest::newRow("type in lower case") << QVariant(1) << u"reg_dword"_s << QVariant::fromValue(quint32(1));
    QTest::newRow("text") << QVariant(u"no"_s) << u"REG_SZ"_s << QVariant(u"no"_s);
    QTest::newRow("empty text") << QVariant(QString()) << u"REG_SZ"_s << QVariant(QString());
    QTest::newRow("number as text") << QVariant(5) << u"REG_SZ"_s << QVariant(u"5"_s);
    QTest::newRow("cyrillic text") << QVariant(u"да \"нет\"\\"_s) << u"REG_SZ"_s
                                   << QVariant(u"да \"нет\"\\"_s);
}

void TestSettingsStore::roundTrip()
{
    QFETCH(QVariant, data);
    QFETCH(QString, type);
    QFETCH(QVariant, expected);

    SettingsStore(m_file).RegWrite(Images, data, type);
    const QVariant read = SettingsStore(m_file).RegRead(Images);
    QCOMPARE(read.metaType(), expected.metaType());
    QCOMPARE(read, expected);
}

void TestSettingsStore::namesIgnoreCaseAndRootAbbreviations()
{
    SettingsStore store(m_file);
    store.RegWrite(u"hkcu\\Software\\Microsoft\\Internet Explorer\\Main\\Display Inline Images"_s, u"no"_s,
                   u"REG_SZ"_s);
    QCOMPARE(store.RegRead(Images), QVariant(u"no"_s));
    QCOMPARE(store.RegRead(Images.toUpper()), QVariant(u"no"_s));

    // Writing under another spelling replaces the value instead of adding a second one.
    store.RegWrite(Images.toLower(), u"yes"_s, u"REG_SZ"_s);
    QCOMPARE(store.RegRead(Images), QVariant(u"yes"_s));
    const QJsonDocument document = QJsonDocument::fromJson(contentsOf(m_file));
    QCOMPARE(document[u"values"_s].toObject().size(), 1);

    // A value that changes its type reads back with the new one.
    store.RegWrite(Images, 1, u"REG_DWORD"_s);
    QCOMPARE(store.RegRead(Images), QVariant::fromValue(quint32(1)));
}

void TestSettingsStore::rejectedWritesChangeNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("data");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("messagePart");

    QTest::newRow("unknown type") << Images << QVariant(u"no"_s) << u"REG_BINARY"_s << u"REG_BINARY"_s;
    QTest::newRow("dword from words") << Offline << QVariant(u"one"_s) << u"REG_DWORD"_s << u"32 bits"_s;
    QTest::newRow("dword too large") << Offline << QVariant(qint64(4294967296)) << u"REG_DWORD"_s
                                     << u"32 bits"_s;
    QTest::newRow("dword too small") << Offline << QVariant(qint64(-2147483649)) << u"REG_DWORD"_s
                                     << u"32 bits"_s;
    QTest::newRow("dword fraction") << Offline << QVariant(1.5) << u"REG_DWORD"_s << u"32 bits"_s;
    QTest::newRow("dword of nothing") << Offline << QVariant() << u"REG_DWORD"_s << u"32 bits"_s;
    QTest::newRow("text of nothing") << Images << QVariant() << u"REG_SZ"_s << u"REG_SZ"_s;
    QTest::newRow("unknown root") << u"HKEY_NOWHERE\\Software\\x"_s << QVariant(1) << u"REG_DWORD"_s
                                  << u"Invalid root"_s;
    QTest::newRow("root only") << u"HKCU"_s << QVariant(1) << u"REG_DWORD"_s << u"HKCU"_s;
    QTest::newRow("root and separator") << u"HKLM\\"_s << QVariant(1) << u"REG_DWORD"_s << u"HKLM"_s;
    QTest::newRow("empty name") << QString() << QVariant(1) << u"REG_DWORD"_s << u"Invalid root"_s;
}

void TestSettingsStore::rejectedWritesChangeNothing()
{
    QFETCH(QString, name);
    QFETCH(QVariant, data);
    QFETCH(QString, type);
    QFETCH(QString, messagePart);

    SettingsStore store(m_file);
    store.RegWrite(Offline, 0, u"REG_DWORD"_s);
    const QByteArray before = contentsOf(m_file);

    const QString message = failureOf([&] { store.RegWrite(name, data, type); });
    QVERIFY2(message.contains(messagePart), qPrintable(message));
    QCOMPARE(contentsOf(m_file), before);
}

void TestSettingsStore::missingValue()
{
    SettingsStore store(m_file);
    QString message = failureOf([&] { store.RegRead(Images); });
    QVERIFY2(message.contains(Images), qPrintable(message)); // no file at all
    QVERIFY(!QFile::exists(m_file));

    store.RegWrite(Offline, 1, u"REG_DWORD"_s);
    message = failureOf([&] { store.RegRead(Images); });
    QVERIFY2(message.contains(Images), qPrintable(message));
    QCOMPARE(store.find(Images), std::nullopt);
}

void TestSettingsStore::browserVersion()
{
    SettingsStore store(m_file);
    const QString builtIn = store.RegRead(registry::BrowserVersion.toString()).toString();
    QVERIFY(builtIn.startsWith(u"6."));
    QCOMPARE(
        store.RegRead(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\version"_s).toString(),
        builtIn);
    QVERIFY(!QFile::exists(m_file)); // reading writes nothing

    store.RegWrite(registry::BrowserVersion.toString(), u"7.0.5730.13"_s, u"REG_SZ"_s);
    QCOMPARE(store.RegRead(registry::BrowserVersion.toString()), QVariant(u"7.0.5730.13"_s));
}

void TestSettingsStore::fileIsValidJsonWithNoLeftovers()
{
    SettingsStore store(m_file);
    for (int i = 0; i < 5; ++i)
        store.RegWrite(Offline, i % 2, u"REG_DWORD"_s);
    store.RegWrite(Images, u"no"_s, u"REG_SZ"_s);

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(contentsOf(m_file), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonObject offline = document[u"values"_s][Offline].toObject();
    QCOMPARE(offline[u"type"_s].toString(), u"REG_DWORD"_s);
    QVERIFY(offline[u"data"_s].isDouble()); // a number, not a text
    QCOMPARE(offline[u"data"_s].toInt(), 0);
    QCOMPARE(QDir(QFileInfo(m_file).path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{u"settings.json"_s});
}

void TestSettingsStore::damagedFile_data()
{
    QTest::addColumn<QByteArray>("contents");

    QTest::newRow("not json") << QByteArray("{\"values\": {\"HKEY_CURRENT_USER\\\\x\": ");
    QTest::newRow("binary") << QByteArray("\x00\xff\x01garbage", 10);
    QTest::newRow("array") << QByteArray("[1, 2]");
    QTest::newRow("dword holding text") << QByteArray(
        "{\"values\": {\"HKEY_CURRENT_USER\\\\x\": {\"type\": \"REG_DWORD\", \"data\": \"1\"}}}");
    QTest::newRow("dword out of range") << QByteArray(
        "{\"values\": {\"HKEY_CURRENT_USER\\\\x\": {\"type\": \"REG_DWORD\", \"data\": 1e12}}}");
    QTest::newRow("unknown type") << QByteArray(
        "{\"values\": {\"HKEY_CURRENT_USER\\\\x\": {\"type\": \"REG_BINARY\", \"data\": \"1\"}}}");
}

void TestSettingsStore::damagedFile()
{
    QFETCH(QByteArray, contents);

    QVERIFY(QDir().mkpath(QFileInfo(m_file).path()));
    writeFile(m_file, contents);
    SettingsStore store(m_file);

    const QString readFailure = failureOf([&] { store.RegRead(registry::BrowserVersion.toString()); });
    QVERIFY2(readFailure.contains(u"damaged"_s) && readFailure.contains(m_file), qPrintable(readFailure));
    const QString writeFailure = failureOf([&] { store.RegWrite(Offline, 1, u"REG_DWORD"_s); });
    QVERIFY2(writeFailure.contains(u"damaged"_s), qPrintable(writeFailure));
    QCOMPARE(contentsOf(m_file), contents); // the user's file is left for them to repair
    QVERIFY_THROWS_EXCEPTION(PlatformError, isGlobalUserOffline(store));
}

void TestSettingsStore::unwritableFile()
{
    QVERIFY(QDir().mkpath(m_file)); // a folder where the file should be
    const QString message = failureOf([&] { SettingsStore(m_file).RegWrite(Offline, 1, u"REG_DWORD"_s); });
    QVERIFY2(message.contains(m_file), qPrintable(message));
}

void TestSettingsStore::followsXdgConfigHome()
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path()));
    const QString expected = m_dir->path() + u"/diarytrawl/settings.json"_s;
    QCOMPARE(xdg::configFolder(), m_dir->path() + u"/diarytrawl"_s);
    QCOMPARE(SettingsStore::defaultFilePath(), expected);
    SettingsStore().RegWrite(Offline, 1, u"REG_DWORD"_s);
    QVERIFY(QFile::exists(expected));

    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_dir->path() + u"/cache"_s));
    QCOMPARE(xdg::cacheFolder(), m_dir->path() + u"/cache/diarytrawl"_s);
    qputenv("XDG_CONFIG_HOME", saved);
}

void TestSettingsStore::offlineSetting_data()
{
    QTest::addColumn<QVariant>("data"); // invalid: no value written
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("offline");

    QTest::newRow("missing") << QVariant() << QString() << false;
    QTest::newRow("1") << QVariant(1) << u"REG_DWORD"_s << true;
    QTest::newRow("0") << QVariant(0) << u"REG_DWORD"_s << false;
    QTest::newRow("2") << QVariant(2) << u"REG_DWORD"_s << false;
    QTest::newRow("text 1") << QVariant(u"1"_s) << u"REG_SZ"_s << true;
}

void TestSettingsStore::offlineSetting()
{
    QFETCH(QVariant, data);
    QFETCH(QString, type);
    QFETCH(bool, offline);

    SettingsStore store(m_file);
    if (data.isValid())
        store.RegWrite(Offline, data, type);
    QCOMPARE(isGlobalUserOffline(store), offline);
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
