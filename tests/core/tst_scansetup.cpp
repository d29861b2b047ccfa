#include "search/ScanSetUp.h"

#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

namespace {

class RecordingLog final : public LogSink {
public:
    void Echo(const QString &strOutput, bool bClear) override
    {
        text = bClear ? strOutput : text + strOutput;
        ++calls;
    }
    void Echo2(const QString &strOutput) override { Echo(strOutput, false); }

    QString text;
    int calls = 0;
};

} // namespace

class TestScanSetUp : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void setUp_data();
    void setUp();
};

void TestScanSetUp::setUp_data()
{
    QTest::addColumn<QStringList>("fields"); // nick, year, from, to, search
    QTest::addColumn<bool>("regScan");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("startAddress");
    QTest::addColumn<QString>("reportName");

    QTest::newRow("plain") << QStringList{u"inkwell"_s, u"2005"_s, u"1"_s, u"12"_s, u"LJ"_s} << false
                           << u"nick: \"inkwell\";\r\nyear: \"2005\";\r\nsearch-string: \"LJ\";\r\n"
                              "link: \"http://www.livejournal.com/~inkwell/2005/\";\r\n"
                              "from month: 1;\r\nto month: 12;\r\n"_s
                           << u"http://www.livejournal.com/~inkwell/2005/"_s
                           << u"results.tmp.inkwell.2005.1-12.htm"_s;
    QTest::newRow("regexp, months as typed")
        << QStringList{u"nick"_s, u"2005"_s, u"01"_s, u"3"_s, u"a|b"_s} << true
        << u"nick: \"nick\";\r\nyear: \"2005\";\r\nsearch expression: \"a|b\";\r\n"
           "link: \"http://www.livejournal.com/~nick/2005/\";\r\nfrom month: 01;\r\nto month: 3;\r\n"_s
        << u"http://www.livejournal.com/~nick/2005/"_s << u"results.tmp.nick.2005.01-3.htm"_s;
    QTest::newRow("nothing trimmed or checked")
        << QStringList{QString(), u" 05 "_s, u"x"_s, QString(), u"\"q\""_s} << false
        << u"nick: \"\";\r\nyear: \" 05 \";\r\nsearch-string: \"\"q\"\";\r\n"
           "link: \"http://www.livejournal.com/~/ 05 /\";\r\nfrom month: x;\r\nto month: ;\r\n"_s
        << u"http://www.livejournal.com/~/ 05 /"_s << u"results.tmp.. 05 .x-.htm"_s;
}

void TestScanSetUp::setUp()
{
    QFETCH(QStringList, fields);
    QFETCH(bool, regScan);
    QFETCH(QString, log);
    QFETCH(QString, startAddress);
    QFETCH(QString, reportName);

    RecordingLog sink;
    QString strStartAddress;
    QString strResultsPageName;
    ScanSetUpStrings(fields[0], fields[1], fields[2], fields[3], fields[4], strStartAddress,
                     strResultsPageName, regScan, u"www.livejournal.com"_s, sink);
    QCOMPARE(sink.text, log);
    QCOMPARE(sink.calls, 6); // one line per call
    QCOMPARE(strStartAddress, startAddress);
    QCOMPARE(strResultsPageName, reportName);
}

QTEST_GUILESS_MAIN(TestScanSetUp)
#include "tst_scansetup.moc"
