// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PlatformError.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

namespace {

const QString Offline = registry::GlobalUserOffline.toString();
const QString Images =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main\\Display Inline Images"_s;
const QString Dword = u"REG_DWORD"_s;

// The file's bytes, or that it is none (reading a pipe would wait for a writer).
QByteArray stateOf(const QString &path)
{
    QFile file(path);
    return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly) ? file.readAll() : "not a file";
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
    void refusedFileIsKept_data();
    void refusedFileIsKept();

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
    store.RegWrite(name, data, type);
    const QVariant read = SettingsStore(m_file).RegRead(Images);
    QCOMPARE(read.metaType(), expected.metaType());
    QCOMPARE(read, expected);
    // Replaced, not added under another spelling, by a whole file that only the user can read.
    QCOMPARE(QJsonDocument::fromJson(stateOf(m_file))[u"values"_s].toObject().size(), 2);
    QCOMPARE(QDir(QFileInfo(m_file).path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{u"settings.json"_s});
    QCOMPARE(QFileInfo(m_file).permissions() & 0x0077, 0);
    QCOMPARE(QFileInfo(QFileInfo(m_file).path()).permissions() & 0x0077, 0);
}

void TestSettingsStore::refusedFileIsKept_data()
{
    QTest::addColumn<QByteArray>("contents"); // "|pipe" makes a pipe
    QTest::addColumn<QString>("reason");

    QTest::newRow("damaged") << QByteArray(R"({"values": {"HKEY_CURRENT_USER\\x": )") << u"is damaged"_s;
    QTest::newRow("pipe") << QByteArray("|pipe") << u"it is not a regular file"_s;
    QTest::newRow("2 MB") << QByteArray(2 * 1024 * 1024, ' ') << u"it is larger than 1 MB"_s;
}

void TestSettingsStore::refusedFileIsKept()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, reason);

    QVERIFY(QDir().mkpath(QFileInfo(m_file).path()));
    if (contents == "|pipe") {
        QCOMPARE(::mkfifo(QFile::encodeName(m_file).constData(), 0600), 0);
    } else {
        QFile file(m_file);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    }
    const QByteArray state = stateOf(m_file);
    SettingsStore store(m_file);

    const QString readFailure = failureOf([&] { store.RegRead(registry::BrowserVersion.toString()); });
    QVERIFY2(readFailure.contains(reason) && readFailure.contains(m_file), qPrintable(readFailure));
    const QString writeFailure = failureOf([&] { store.RegWrite(Offline, 1, Dword); });
    QVERIFY2(writeFailure.contains(reason), qPrintable(writeFailure));
    QCOMPARE(stateOf(m_file), state); // the user's file is left for them to repair or remove
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
