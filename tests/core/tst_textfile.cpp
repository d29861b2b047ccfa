#include "TestFolder.h"
#include "files/TextFile.h"
#include "platform/CodePage1251.h"
#include "platform/FileSystem.h"
#include "platform/PlatformError.h"

#include <QFile>
#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

class TestTextFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { m_folder = std::make_unique<test::TestFolder>(); }
    void cleanup() { m_folder.reset(); }
    void codePage_data();
    void codePage();
    void everyByteRoundTrips();
    void writeModes_data();
    void writeModes();
    void appendingToMissingFileFails();
    void unwritableNamesFail_data();
    void unwritableNamesFail();
    void createFolder();
    void pathNames_data();
    void pathNames();

private:
    std::unique_ptr<test::TestFolder> m_folder;
};

namespace {

QByteArray contents(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

void TestTextFile::codePage_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ASCII with CRLF") << u"a\r\nb"_s << QByteArray("a\r\nb");
    QTest::newRow("Cyrillic") << u"Привет, Ёж"_s << QByteArray("\xcf\xf0\xe8\xe2\xe5\xf2, \xa8\xe6");
    QTest::newRow("Ukrainian and signs") << u"Їі№€—«»"_s << QByteArray("\xaf\xb3\xb9\x88\x97\xab\xbb");
    QTest::newRow("missing: Chinese") << u"a中b"_s << QByteArray("a?b");
    QTest::newRow("missing: Latin accents") << u"café"_s << QByteArray("caf?");
    QTest::newRow("one ? for a surrogate pair") << u"x\U0001F600y"_s << QByteArray("x?y");
    QTest::newRow("lone surrogate") << QString(u"x"_s + QChar(0xDC00)) << QByteArray("x?");
    QTest::newRow("replacement character") << u"\uFFFD"_s << QByteArray("?");
    QTest::newRow("NUL stays NUL") << QString(QChar(0)) << QByteArray(1, '\0');
}

void TestTextFile::codePage()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(cp1251::fromUnicode(text), bytes);

    WriteString(u"out.htm"_s, text, 1);
    QCOMPARE(contents(u"out.htm"_s), bytes);
}

void TestTextFile::everyByteRoundTrips()
{
    QByteArray all;
    for (int byte = 0; byte < 256; ++byte) {
        if (byte != 0x98) // the one byte windows-1251 leaves unassigned
            all.append(char(byte));
    }
    QCOMPARE(cp1251::fromUnicode(cp1251::toUnicode(all)), all);
    QCOMPARE(cp1251::toUnicode("\x98"), u"\uFFFD"_s);
}

void TestTextFile::writeModes_data()
{
    QTest::addColumn<int>("bRewrite");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("1 replaces") << 1 << u"new"_s << QByteArray("new");
    QTest::newRow("0 appends") << 0 << u"new"_s << QByteArray("oldnew");
    QTest::newRow("True (-1) appends") << -1 << u"new"_s << QByteArray("oldnew");
    QTest::newRow("2 replaces") << 2 << u"new"_s << QByteArray("new");
    QTest::newRow("empty text, rewrite") << 1 << QString() << QByteArray();
    QTest::newRow("empty text, append") << 0 << QString() << QByteArray("old");
}

void TestTextFile::writeModes()
{
    QFETCH(int, bRewrite);
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    WriteString(u"report.htm"_s, u"old"_s, 1);
    WriteString(u"report.htm"_s, text, bRewrite);
    QCOMPARE(contents(u"report.htm"_s), expected);
}

void TestTextFile::appendingToMissingFileFails()
{
    try {
        WriteString(u"missing.htm"_s, u"x"_s, 0);
        QFAIL("appended to a missing file");
    } catch (const PlatformError &error) {
        QCOMPARE(error.number(), ErrorNumber::FileNotFound);
    }
    QVERIFY(!QFile::exists(u"missing.htm"_s));
}

void TestTextFile::unwritableNamesFail_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing folder") << u"no/such/folder/file.htm"_s;
    QTest::newRow("a folder") << u"."_s;
    QTest::newRow("empty name") << QString();
}

void TestTextFile::unwritableNamesFail()
{
    QFETCH(QString, name);
    QVERIFY_THROWS_EXCEPTION(PlatformError, WriteString(name, u"x"_s, 1));
}

void TestTextFile::createFolder()
{
    const QString made = CreateFolder(u"saved.pages.tmp"_s);
    QCOMPARE(made, m_folder->path() + u"/saved.pages.tmp"_s);
    QVERIFY(QFileInfo(made).isDir());
    QCOMPARE(CreateFolder(u"saved.pages.tmp"_s), made); // exists: made again without complaint
    QCOMPARE(CreateFolder(made + u"/~nick"_s), made + u"/~nick"_s);

    QVERIFY_THROWS_EXCEPTION(PlatformError, CreateFolder(u"a/b/c"_s)); // only the last level is made
    QVERIFY(!QFileInfo::exists(u"a"_s));
    WriteString(u"plain"_s, u"x"_s, 1);
    QVERIFY_THROWS_EXCEPTION(PlatformError, CreateFolder(u"plain"_s));
}

void TestTextFile::pathNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("absolute"); // relative to the current folder
    QTest::addColumn<QString>("fileName");
    QTest::newRow("relative") << u"results.tmp.inkwell.2005.03-03.htm"_s
                              << u"/results.tmp.inkwell.2005.03-03.htm"_s
                              << u"results.tmp.inkwell.2005.03-03.htm"_s;
    QTest::newRow("dots cleaned") << u"a/../b/./c.htm"_s << u"/b/c.htm"_s << u"c.htm"_s;
    QTest::newRow("folder with slash") << u"folder/"_s << u"/folder"_s << u"folder"_s;
}

void TestTextFile::pathNames()
{
    QFETCH(QString, name);
    QFETCH(QString, absolute);
    QFETCH(QString, fileName);
    QCOMPARE(fso::GetAbsolutePathName(name), m_folder->path() + absolute);
    QCOMPARE(fso::GetFileName(fso::GetAbsolutePathName(name)), fileName);
}

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"
