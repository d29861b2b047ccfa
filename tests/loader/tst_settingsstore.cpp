#include "platform/PlatformError.h"
#include "platform/SettingsStore.h"

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
    void builtInBrowserVersionUntilOneIsStored();
    void writesWholeFilesOnly();
    void damagedFileIsRefusedAndKept();

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

    QTest::newRow("dword largest") << Images << QVariant(qint64(4294967295)) << Dword
                                   << QVariant::fromValue(4294967295u);
    QTest::newRow("text") << Images << QVariant(u"да \"нет\"\\"_s) << u"REG_SZ"_s
                          << QVariant(u"да \"нет\"\\"_s);
    QTest::newRow("name in another case, root abbreviated")
        << u"hkcu"_s + Images.mid(17).toUpper() << QVariant(1) << Dword << QVariant::fromValue(1u);
}

void TestSettingsStore::writeAndReadBack()
{
    QFETCH(QString, name);
    QFETCH(QVariant, data);
    QFETCH(QString, type);
    QFETCH(QVariant, expected);

    SettingsStore store(m_file);
    store.RegWrite(Offline, 0, Dword);
    store.RegWrite(Images, u"before"_s, u"REG_SZ"_s);
    const QString message = failureOf([&] { store.RegWrite(name, data, type); });
    QVERIFY2(message.isEmpty(), qPrintable(message));
    const QVariant read = SettingsStore(m_file).RegRead(Images);
    QCOMPARE(read.metaType(), expected.metaType());
    QCOMPARE(read, expected);
    // Replaced, not added under another spelling.
    QCOMPARE(QJsonDocument::fromJson(contentsOf(m_file))[u"values"_s].toObject().size(), 2);
}

void TestSettingsStore::builtInBrowserVersionUntilOneIsStored()
{
    const QString version = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\version"_s;
    SettingsStore store(m_file);
    // The built-in answer is one for which the browser settings menu is offered.
    QVERIFY(store.RegRead(version).toString().startsWith(u"6."));
    QVERIFY(!QFile::exists(m_file)); // reading writes nothing

    store.RegWrite(registry::BrowserVersion.toString(), u"7.0.5730.13"_s, u"REG_SZ"_s);
    QCOMPARE(store.RegRead(version), QVariant(u"7.0.5730.13"_s));
}

void TestSettingsStore::writesWholeFilesOnly()
{
    SettingsStore store(m_file);
    for (int i = 0; i < 5; ++i)
        store.RegWrite(Offline, i % 2, Dword);
    QCOMPARE(QDir(QFileInfo(m_file).path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{u"settings.json"_s}); // no leftovers of the atomic writes
}

void TestSettingsStore::damagedFileIsRefusedAndKept()
{
    const QByteArray contents = R"({"values": {"HKEY_CURRENT_USER\\x": )";
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

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
