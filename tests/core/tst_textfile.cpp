// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestFolder.h"
#include "core/TextFile.h"
#include "loader/CodePage1251.h"
#include "platform/PlatformError.h"

#include <QFile>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

class TestTextFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { m_folder = std::make_unique<test::TestFolder>(); }
    void cleanup() { m_folder.reset(); }
    void writes_data();
    void writes();
    void refusedWrites_data();
    void refusedWrites();

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

// Written over "old" as plain text and as HTML, where a character the code page lacks is a reference.
void TestTextFile::writes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bRewrite");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("html");
    const auto row = [](const char *name, const QString &text, int bRewrite, const QByteArray &bytes,
                        const QByteArray &html = {}) {
        QTest::newRow(name) << text << bRewrite << bytes << (html.isEmpty() ? bytes : html);
    };
    row("ASCII, Cyrillic, Ukrainian and signs", u"a\r\nПривет, Ёж Їі№€—«»"_s, 1,
        "a\r\n\xcf\xf0\xe8\xe2\xe5\xf2, \xa8\xe6 \xaf\xb3\xb9\x88\x97\xab\xbb");
    QByteArray all;
    for (int byte = 0; byte < 256; ++byte) {
        if (byte != 0x98) // the one byte windows-1251 leaves unassigned
            all.append(char(byte));
    }
    row("every byte back as it was", cp1251::toUnicode(all), 1, all);
    row("missing: Chinese, accents, ruble", u"中é₽"_s, 1, "???", "&#20013;&#233;&#8381;");
    row("surrogate pair: one character", u"x\U0001F600y"_s, 1, "x?y", "x&#128512;y");
    // What a browser would show in their place.
    row("lone surrogate, C1 control", QString(QString(QChar(0xDC00)) + QChar(0x85)), 1, "??",
        "&#65533;&#65533;");
    row("0 appends", u"new"_s, 0, "oldnew");
    row("True (-1) appends", u"new"_s, -1, "oldnew");
    row("empty text, 2 rewrites", QString(), 2, "");
}

void TestTextFile::writes()
{
    QFETCH(QString, text);
    QFETCH(int, bRewrite);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, html);
    WriteString(u"out.txt"_s, u"old"_s, 1);
    WriteString(u"out.txt"_s, text, bRewrite);
    QCOMPARE(contents(u"out.txt"_s), bytes);
    WriteHtmlString(u"out.htm"_s, u"old"_s, 1);
    WriteHtmlString(u"out.htm"_s, text, bRewrite);
    QCOMPARE(contents(u"out.htm"_s), html);
}

// A refused write says why and writes nothing through what stands at the name.
void TestTextFile::refusedWrites_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("setup"); // a "link" or a "pipe" at the name, or a file size "limit"
    QTest::addColumn<int>("bRewrite");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("reason");

    QTest::newRow("append to a missing file")
        << u"missing.htm"_s << QString() << 0 << int(ErrorNumber::FileNotFound) << u"file not found"_s;
    QTest::newRow("symbolic link") << u"r.htm"_s << u"link"_s << 1 << int(ErrorNumber::PermissionDenied)
                                   << u"it is a symbolic link, which is not followed"_s;
    QTest::newRow("pipe without a reader")
        << u"r.htm"_s << u"pipe"_s << 1 << int(ErrorNumber::PermissionDenied)
        << u"something that is not a regular file has the name"_s;
    QTest::newRow("full disk") << u"r.htm"_s << u"limit"_s << 1 << int(ErrorNumber::FileWriteFailed)
                               << u"File too large"_s;
}

void TestTextFile::refusedWrites()
{
    QFETCH(QString, name);
    QFETCH(QString, setup);
    QFETCH(int, bRewrite);
    QFETCH(int, number);
    QFETCH(QString, reason);

    WriteString(u"target"_s, u"keep"_s, 1);
    if (setup == u"link")
        QVERIFY(QFile::link(u"target"_s, name));
    if (setup == u"pipe")
        QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0600), 0);
    // A real limit: past it the system refuses the write with "File too large", root included.
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    if (setup == u"limit") {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{4, previous.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    try {
        WriteString(name, u"more than four bytes"_s, bRewrite);
        QFAIL("the write was not refused");
    } catch (const PlatformError &error) {
        ::setrlimit(RLIMIT_FSIZE, &previous);
        QCOMPARE(error.number(), number);
        QVERIFY2(error.description().endsWith(u"\""_s + name + u"\": "_s + reason),
                 qPrintable(error.description()));
    }
    ::setrlimit(RLIMIT_FSIZE, &previous);
    QCOMPARE(contents(u"target"_s), QByteArray("keep"));
    QCOMPARE(QFile::exists(u"missing.htm"_s), false);
}

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"
