// SPDX-License-Identifier: GPL-3.0-or-later
#include "JournalServer.h"
#include "TestFolder.h"
#include "app/Form1.h"
#include "app/WindowLayout.h"
#include "platform/web/NetworkBrowser.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>

using namespace diarytrawl;
using namespace diarytrawl::test;
using namespace Qt::StringLiterals;

namespace {

class FixedClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime(QDate(2026, 12, 6), QTime(10, 0)); }
};

// What a modal message box showed before the test closed it; for an input dialog, the text it offered.
struct ShownMessage {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
};

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void stateAfterStart();
    void matchModeInterlock_data();
    void matchModeInterlock();
    void otherMenu_data();
    void otherMenu();
    void siteMenu_data();
    void siteMenu();
    void browserSettingsCommands_data();
    void browserSettingsCommands();
    void browserSettingsMenuFollowsVersion_data();
    void browserSettingsMenuFollowsVersion();
    void offlineModeReadsOnlyTheCache();
    void layoutRule();
    void captionWhileMinimized();
    void searchFromTheWindow();
    void stopDuringALoad_data();
    void stopDuringALoad();
    void matchModeChangeAppliesToTheNextSearch();
    void helpPageOpensEveryTime();

private:
    void makeWindow();
    template<typename T>
    T *child(const char *name) const
    {
        T *found = m_window->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }
    QAction *item(const char *name) const { return child<QAction>(name); }
    // Runs action, answering the modal dialogs it opens in turn: a message box is closed, an input or file
    // dialog gets the next of answers (a null answer cancels it). Says what each showed.
    QList<ShownMessage> answer(const std::function<void()> &action, QStringList answers = {});
    ShownMessage closeMessageOf(const std::function<void()> &action) { return answer(action).value(0); }
    // Runs f once the search running in the window has got as far as requesting target.
    void whenRequested(const QString &target, std::function<void()> f);
    bool damageSettings() const
    {
        QFile settings(m_settings->filePath());
        return settings.open(QIODevice::WriteOnly) && settings.write("{ damaged") > 0;
    }
    void clickSearch() { QTest::mouseClick(child<QPushButton>("SearchButton"), Qt::LeftButton); }

    std::unique_ptr<TestFolder> m_dir;
    std::unique_ptr<JournalServer> m_server;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<web::NetworkBrowserFactory> m_browsers;
    FixedClock m_clock;
    QStringList m_opened;          // what the window handed to the desktop
    QStringList m_shownExternally; // what visible browsers were sent to
    std::unique_ptr<Form1> m_window;
};

void TestForm1::init()
{
    m_dir = std::make_unique<TestFolder>();
    m_server = std::make_unique<JournalServer>();
    m_server->addEntry({u"inkwell"_s, 2005, 3, 17, 101, u"About LJ"_s, u"<p>Our LJ community</p>"_s});
    m_settings = std::make_unique<SettingsStore>(m_dir->path() + u"/settings.json"_s);
    web::NetworkBrowserOptions options;
    options.settingsFile = m_settings->filePath();
    options.cacheFolder = m_dir->path() + u"/cache"_s;
    options.openExternally = [this](const QString &address) {
        m_shownExternally << address;
    };
    m_browsers = std::make_unique<web::NetworkBrowserFactory>(options);
    m_opened.clear();
    m_shownExternally.clear();
    makeWindow();
}

void TestForm1::makeWindow()
{
    m_window.reset();
    m_window = std::make_unique<Form1>(
        Form1::Services{*m_browsers, *m_settings, m_clock, [this](const QString &address) {
                            m_opened << address;
                        }});
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestForm1::cleanup()
{
    m_window.reset();
    m_browsers.reset();
    m_settings.reset();
    m_server.reset();
    m_dir.reset();
}

QList<ShownMessage> TestForm1::answer(const std::function<void()> &action, QStringList answers)
{
    QList<ShownMessage> shown;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (!dialog)
            return;
        const QString given = box || answers.isEmpty() ? QString() : answers.takeFirst();
        if (box)
            shown.append({box->windowTitle(), box->text(), box->icon(), int(box->standardButtons())});
        if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
            shown.append({input->windowTitle(), input->textValue()});
            input->setTextValue(given);
        } else if (auto *files = qobject_cast<QFileDialog *>(dialog)) {
            files->selectFile(given);
        }
        box || !given.isNull() ? dialog->accept() : dialog->reject();
    });
    poll.start(5);
    action();
    return shown;
}

void TestForm1::whenRequested(const QString &target, std::function<void()> f)
{
    auto *poll = new QTimer(this);
    connect(poll, &QTimer::timeout, poll, [this, poll, target, f] {
        if (m_server->requestCount(target) > 0) {
            poll->deleteLater();
            f();
        }
    });
    poll->start(5);
}

void TestForm1::stateAfterStart()
{
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QCOMPARE(QApplication::focusWidget(), child<QLineEdit>("EditNick"));

    QCOMPARE(m_window->windowTitle(), u"   diarytrawl utility v.1.0.1.7b"_s);
    const SearchFields fields = m_window->readSearchFields();
    QCOMPARE(QStringList({fields.strNick, fields.strYear, fields.strFromMonth, fields.strToMonth,
                          fields.strSearchString}),
             QStringList({u"inkwell"_s, u"2005"_s, u"03"_s, u"03"_s, u"LJ"_s}));
    QCOMPARE(child<QPlainTextEdit>("Output2")->toPlainText(), u"no search performed"_s);
    QVERIFY(child<QPushButton>("SearchButton")->isEnabled());
    QVERIFY(!child<QPushButton>("CancelSearchButton")->isEnabled());

    const WindowState &state = m_window->windowState();
    QVERIFY(!state.bStopRequested && !state.bSearchHtmlCode && !state.bSavePages && !state.bSaveMatchingOnly);
    QCOMPARE(state.strSavedPagesFolder, u"saved.pages.tmp"_s);
    QCOMPARE(state.strSiteHost, u"www.livejournal.com"_s);
    QCOMPARE(state.strFormCaption, u"   diarytrawl utility v.1.0.1.7b"_s);

    // Only the LiveJournal item is checked; everything is enabled and visible; nothing has a shortcut or
    // an access key.
    QVERIFY(child<QMenu>("ie5")->menuAction()->isVisible());
    for (QAction *action : m_window->findChildren<QAction *>()) {
        if (action->objectName().isEmpty())
            continue;
        QCOMPARE(action->isChecked(), action->objectName() == u"menuLJLiveJournal"_s);
        QVERIFY(action->isEnabled());
        QVERIFY(action->shortcut().isEmpty());
        QVERIFY2(!action->text().contains(u'&'), qPrintable(action->text()));
    }
    for (QAction *menu : m_window->menuBar()->actions())
        QVERIFY2(!menu->text().contains(u'&'), qPrintable(menu->text()));
    QCOMPARE(child<QAction>("assumeDosFilemasks")->text(), u"'*', '?' mean \"any chars\", \"any symbol\""_s);
    QStringList captions;
    for (QAction *action : child<QMenu>("other")->actions() + child<QMenu>("menuSelectLJ")->actions())
        captions << action->text();
    QCOMPARE(captions.join(u'|'),
             u"Save scanned pages|Save matching pages only||Show adult content (I am 18 or older)|Use login "
             u"cookies from a file...|Forget login cookies|www.livejournal.com|www.greatestjournal.com|"
             u"www.deadjournal.com|lj.rossia.org|www.dreamwidth.org|www.insanejournal.com||Other site..."_s);

    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    // The disabled Cancel Search button is skipped.
    QCOMPARE(visited, (QStringList{u"EditNick"_s, u"EditYear"_s, u"FromMonthEdit"_s, u"ToMonthEdit"_s,
                                   u"SearchStringEdit"_s, u"SearchButton"_s, u"Output2"_s, u"EditNick"_s}));
}

void TestForm1::matchModeInterlock_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("state"); // per item: x/- checked, e/d enabled

    QTest::newRow("regular expression") << QStringList{u"useRegExps"_s} << u"xe -d -d"_s;
    QTest::newRow("masks and OR/THEN")
        << QStringList{u"assumeDosFilemasks"_s, u"assumeOrAndNot"_s} << u"-d xe xe"_s;
    QTest::newRow("one of both off") << QStringList{u"assumeDosFilemasks"_s, u"assumeOrAndNot"_s,
                                                    u"assumeDosFilemasks"_s}
                                     << u"-d -e xe"_s;
    QTest::newRow("both off again") << QStringList{u"assumeDosFilemasks"_s, u"assumeOrAndNot"_s,
                                                   u"assumeDosFilemasks"_s, u"assumeOrAndNot"_s}
                                    << u"-e -e -e"_s;
}

void TestForm1::matchModeInterlock()
{
    QFETCH(QStringList, clicks);
    QFETCH(QString, state);
    for (const QString &name : clicks)
        item(name.toLatin1().constData())->trigger();
    QStringList shown;
    for (const char *name : {"useRegExps", "assumeDosFilemasks", "assumeOrAndNot"})
        shown << QString(QChar(item(name)->isChecked() ? u'x' : u'-')) +
                     QChar(item(name)->isEnabled() ? u'e' : u'd');
    QCOMPARE(shown.join(u' '), state);
}

void TestForm1::otherMenu_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("file"); // chosen in the file dialog; null cancels
    QTest::addColumn<QString>(
        "state"); // x/-: save all, matching only, adult content, cookies; '!': store damaged

    const QString all = u"menuSavePages"_s;
    const QString matching = u"menuSaveMatchingPagesOnly"_s;
    const QString adult = u"menuShowAdultContent"_s;
    const QString cookies = u"menuUseLoginCookies"_s;
    QTest::newRow("all") << QStringList{all} << QString() << u"x---"_s;
    QTest::newRow("matching") << QStringList{matching} << QString() << u"-x--"_s;
    QTest::newRow("all, then matching") << QStringList{all, matching} << QString() << u"-x--"_s;
    QTest::newRow("matching, then all") << QStringList{matching, all} << QString() << u"x---"_s;
    QTest::newRow("all twice") << QStringList{all, all} << QString() << u"----"_s;
    QTest::newRow("matching twice") << QStringList{matching, matching} << QString() << u"----"_s;
    QTest::newRow("adult content") << QStringList{adult} << QString() << u"--x-"_s;
    QTest::newRow("adult content off again") << QStringList{adult, adult} << QString() << u"----"_s;
    QTest::newRow("cookie file") << QStringList{cookies} << u"cookies.sqlite"_s << u"---x"_s;
    QTest::newRow("cookies forgotten")
        << QStringList{cookies, u"menuForgetLoginCookies"_s} << u"cookies.txt"_s << u"----"_s;
    QTest::newRow("store damaged") << QStringList{adult, cookies} << u"cookies.txt"_s << u"----!"_s;
}

void TestForm1::otherMenu()
{
    QFETCH(QStringList, clicks);
    QFETCH(QString, file);
    QFETCH(QString, state);
    const bool writable = !state.endsWith(u'!');
    const QString path = file.isNull() ? QString() : m_dir->file(file);
    QVERIFY(file.isNull() || QFile(path).open(QIODevice::WriteOnly));
    QVERIFY(writable || damageSettings());
    const QList<ShownMessage> shown = answer(
        [&] {
            for (const QString &name : clicks)
                item(qPrintable(name))->trigger();
        },
        {path});
    QCOMPARE(shown.size(), writable ? 0 : clicks.size());
    QVERIFY(writable || shown[1].text.startsWith(u"The setting could not be written:"_s));
    // The save pair starts afresh; the rest is what the window reads at its next start.
    for (const bool restart : {false, true}) {
        const QList<ShownMessage> atStart =
            restart ? answer([this] { makeWindow(); }) : QList<ShownMessage>();
        QVERIFY(writable || !restart ||
                atStart.value(0).text.startsWith(u"The settings could not be read;"_s));
        const WindowState &now = m_window->windowState();
        QString shownState;
        for (const auto &[name, on] : {std::pair{"menuSavePages", now.bSavePages},
                                       {"menuSaveMatchingPagesOnly", now.bSaveMatchingOnly},
                                       {"menuShowAdultContent", now.bShowAdultContent}}) {
            QCOMPARE(item(name)->isChecked(), on);
            shownState += on ? u'x' : u'-';
        }
        shownState += now.strLoginCookies.isEmpty() ? u'-' : now.strLoginCookies == path ? u'x' : u'?';
        QCOMPARE(shownState, restart ? u"--"_s + state.mid(2, 2) : state.left(4));
    }

    item("menuSearchHtmlCode")->trigger();
    QVERIFY(item("menuSearchHtmlCode")->isChecked() && m_window->windowState().bSearchHtmlCode);
    item("menuSearchHtmlCode")->trigger();
    QVERIFY(!item("menuSearchHtmlCode")->isChecked() && !m_window->windowState().bSearchHtmlCode);
}

void TestForm1::siteMenu_data()
{
    QTest::addColumn<QString>("clicks"); // items of the LJ menu, "menuLJ" left off
    QTest::addColumn<QString>("typed");  // the answer to "Other site..."; null cancels
    QTest::addColumn<QString>("host");   // a typed host that the window does not take is refused

    QTest::newRow("Dreamwidth") << u"Dreamwidth"_s << QString() << u"www.dreamwidth.org"_s;
    QTest::newRow("InsaneJournal twice")
        << u"InsaneJournal InsaneJournal"_s << QString() << u"www.insanejournal.com"_s;
    QTest::newRow("LiveJournal again")
        << u"InsaneJournal LiveJournal"_s << QString() << u"www.livejournal.com"_s;
    QTest::newRow("other, port") << u"OtherSite"_s << u"Web-1.example.org:65535"_s
                                 << u"Web-1.example.org:65535"_s;
    QTest::newRow("other, IPv4, blanks") << u"OtherSite"_s << u" 10.0.0.1 "_s << u"10.0.0.1"_s;
    QTest::newRow("other cancelled") << u"DeadJournal OtherSite"_s << QString() << u"www.deadjournal.com"_s;
    for (const QString &typed : QStringList{u""_s, u"http://x.org"_s, u"x..org"_s,
                                            QString(64, u'a') + u".org"_s, u"x.org:65536"_s, u"10.1"_s})
        QTest::addRow("refused: %s", qPrintable(typed))
            << u"OtherSite"_s << typed << u"www.livejournal.com"_s;
}

void TestForm1::siteMenu()
{
    QFETCH(QString, clicks);
    QFETCH(QString, typed);
    QFETCH(QString, host);
    const auto click = [&clicks, this] {
        for (const QString &name : clicks.split(u' '))
            item(qPrintable(u"menuLJ"_s + name))->trigger();
    };
    const QList<ShownMessage> shown = answer(click, {typed});
    // Exactly one item is checked: the one named after the host, or else "Other site...".
    QString expected = u"menuLJOtherSite"_s;
    QStringList checked;
    for (QAction *site : child<QMenu>("menuSelectLJ")->actions()) {
        if (site->text() == host)
            expected = site->objectName();
        if (site->isChecked())
            checked << site->objectName();
    }
    QCOMPARE(checked, QStringList{expected});
    QCOMPARE(m_window->windowState().strSiteHost, host);
    const bool refused = !typed.isNull() && typed.trimmed() != host;
    QCOMPARE(shown.size(), clicks.count(u"OtherSite"_s) + refused);
    QVERIFY(!refused || shown.last().text.startsWith(u'"' + typed + u"\" is not a site's host name: "_s));
    if (expected == u"menuLJOtherSite") { // kept, and offered at the next start
        makeWindow();
        QCOMPARE(answer([this] { item("menuLJOtherSite")->trigger(); }).value(0).text, host);
    }
}

void TestForm1::browserSettingsCommands_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("pairedCommand");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QVariant>("data");

    const QString main = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main\\"_s;
    const QStringList display = {main + u"Display Inline Videos"_s, main + u"Display Inline Images"_s,
                                 main + u"Play_Background_Sounds"_s};
    const QString offline =
        u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\"
        u"GlobalUserOffline"_s;
    QTest::newRow("offline")
        << u"ie5SetOfflineMode"_s << u"ie5SetOnlineMode"_s
        << u"Have set registry keys to force Offline Mode.\r\n(Search locally cached Internet pages.)"_s
        << QStringList{offline} << QVariant(1u);
    QTest::newRow("online")
        << u"ie5SetOnlineMode"_s << u"ie5SetOfflineMode"_s
        << u"Have set registry keys to force Online Mode.\r\n( Search the online Internet pages :-) )"_s
        << QStringList{offline} << QVariant(0u);
    QTest::newRow("graphics off") << u"ie5TurnGraphicsOff"_s << u"ie5TurnGraphicsOn"_s
                                  << u"Have set IE 5.0 registry keys to turn off graphics."_s << display
                                  << QVariant(u"no"_s);
    QTest::newRow("graphics on") << u"ie5TurnGraphicsOn"_s << u"ie5TurnGraphicsOff"_s
                                 << u"Have set IE 5.0 registry keys to turn on graphics, video and sounds."_s
                                 << display << QVariant(u"yes"_s);
}

void TestForm1::browserSettingsCommands()
{
    QFETCH(QString, command);
    QFETCH(QString, pairedCommand);
    QFETCH(QString, message);
    QFETCH(QStringList, names);
    QFETCH(QVariant, data);

    QAction *done = item(command.toLatin1().constData());
    QAction *paired = item(pairedCommand.toLatin1().constData());
    const ShownMessage shown = closeMessageOf([done] { done->trigger(); });
    QCOMPARE(shown.title, u"diarytrawl"_s);
    QCOMPARE(shown.text, message);
    QCOMPARE(shown.icon, QMessageBox::NoIcon);
    QCOMPARE(shown.buttons, int(QMessageBox::Ok));
    for (const QString &name : names)
        QCOMPARE(m_settings->RegRead(name), data);
    QVERIFY(!done->isEnabled());
    QVERIFY(paired->isEnabled());
    // The other pair is not touched, and a new start offers all four again.
    for (QAction *action : child<QMenu>("ie5")->actions()) {
        if (action != done && action != paired)
            QVERIFY(action->isEnabled());
    }
    makeWindow();
    for (QAction *action : child<QMenu>("ie5")->actions())
        QVERIFY(action->isEnabled());
}

void TestForm1::browserSettingsMenuFollowsVersion_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("shown");
    QTest::newRow("6.0") << u"6.0.2900.2180"_s << true;
    QTest::newRow("5.5") << u"5.50.4807.2300"_s << true;
    QTest::newRow("11.") << u"11.0.9600"_s << false;
    QTest::newRow("bare 5") << u"5"_s << false;
}

void TestForm1::browserSettingsMenuFollowsVersion()
{
    QFETCH(QString, version);
    QFETCH(bool, shown);
    m_settings->RegWrite(u"HKLM\\Software\\Microsoft\\Internet Explorer\\Version"_s, version, u"REG_SZ"_s);
    makeWindow();
    QCOMPARE(child<QMenu>("ie5")->menuAction()->isVisible(), shown);
}

void TestForm1::offlineModeReadsOnlyTheCache()
{
    closeMessageOf([this] { item("ie5SetOfflineMode")->trigger(); });
    m_window->windowState().strSiteHost = m_server->host();
    clickSearch();
    QVERIFY(m_server->requests().isEmpty());
    QVERIFY2(m_window->logText().endsWith(u"results: 0 links found (see log above);\r\n0 links scanned;\r\n"
                                          u"1 pages could not be read (see log above);\r\n"_s),
             qPrintable(m_window->logText()));
}

void TestForm1::layoutRule()
{
    const QList<QWidget *> controls =
        child<QWidget>("clientArea")->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    const QSize frame = m_window->frameGeometry().size() - m_window->size();
    m_window->resize(QSize(7350 / 15, 6915 / 15) - frame); // outer size 7350 x 6915 twips
    QTRY_COMPARE(m_window->frameGeometry().size(), QSize(490, 461));
    QCOMPARE(child<QPlainTextEdit>("Output2")->geometry(), QRect(8, 56, 6990 / 15, 4575 / 15));
    QCOMPARE(child<QPushButton>("SearchButton")->geometry(), QRect(6255 / 15, 16, 57, 25));
    QCOMPARE(child<QLineEdit>("SearchStringEdit")->geometry(), QRect(224, 24, 2775 / 15, 19));
    QCOMPARE(child<QPushButton>("CancelSearchButton")->geometry(), QRect(176, 5790 / 15, 97, 25));
    QCOMPARE(child<QLineEdit>("EditNick")->geometry(), QRect(8, 24, 73, 19));

    // At the smallest size the window takes, every control is inside it and none covers another.
    m_window->resize(1, 1);
    QTRY_COMPARE(m_window->frameGeometry().size(), QSize(MinimumOuterWidth / 15, MinimumOuterHeight / 15));
    for (qsizetype i = 0; i < controls.size(); ++i) {
        QVERIFY(child<QWidget>("clientArea")->rect().contains(controls[i]->geometry()));
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            QVERIFY2(!controls[i]->geometry().intersects(controls[j]->geometry()),
                     qPrintable(controls[i]->objectName() + u' ' + controls[j]->objectName()));
        }
    }
}

void TestForm1::captionWhileMinimized()
{
    const QString caption = u"   diarytrawl utility v.1.0.1.7b"_s;
    const QRect logGeometry = child<QPlainTextEdit>("Output2")->geometry();
    auto *log = child<QPlainTextEdit>("Output2");
    m_window->StatusReport(u"1/0/0 [00:00:01] "_s);
    QCOMPARE(m_window->windowTitle(), caption);
    QCOMPARE(log->toolTip(), u"1/0/0 [00:00:01] "_s);
    // The tool tip on the screen follows the status, where it stands.
    QHelpEvent hover(QEvent::ToolTip, QPoint(20, 20), log->viewport()->mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(log->viewport(), &hover);
    QTRY_VERIFY(QToolTip::isVisible());
    m_window->StatusReport(u"2/0/0 [00:00:02] "_s);
    QCOMPARE(QToolTip::text(), u"2/0/0 [00:00:02] "_s);

    m_window->showMinimized();
    QTRY_VERIFY(m_window->isMinimized());
    QCOMPARE(m_window->windowTitle(), caption); // minimizing leaves the caption alone
    m_window->StatusReport(u"5/3/0 [00:01:05] @ 2005-03-17"_s);
    QCOMPARE(m_window->windowTitle(), caption + u" 5/3/0 [00:01:05] @ 2005-03-17"_s);
    QCOMPARE(child<QPlainTextEdit>("Output2")->geometry(), logGeometry);

    m_window->showNormal();
    QTRY_VERIFY(!m_window->isMinimized());
    QCOMPARE(m_window->windowTitle(), caption);
}

void TestForm1::searchFromTheWindow()
{
    m_window->windowState().strSiteHost = m_server->host();
    auto *search = child<QPushButton>("SearchButton");
    auto *cancel = child<QPushButton>("CancelSearchButton");
    bool searchEnabledDuring = true;
    bool cancelEnabledDuring = false;
    whenRequested(u"/~inkwell/101.html"_s, [&] {
        searchEnabledDuring = search->isEnabled();
        cancelEnabledDuring = cancel->isEnabled();
    });
    clickSearch();

    QVERIFY(!searchEnabledDuring);
    QVERIFY(cancelEnabledDuring);
    QVERIFY(search->isEnabled());
    QVERIFY(!cancel->isEnabled());
    const QString log = m_window->logText();
    QVERIFY2(
        log.startsWith(u"Scan():\r\nnick: \"inkwell\";\r\nyear: \"2005\";\r\nsearch-string: \"LJ\";\r\n"_s),
        qPrintable(log));
    QVERIFY(log.endsWith(u"results: 3 links found (see log above);\r\n3 links scanned;\r\n"_s));
    QString shown = log;
    QCOMPARE(child<QPlainTextEdit>("Output2")->toPlainText(), shown.replace(u"\r\n"_s, u"\n"_s));
    QCOMPARE(child<QPlainTextEdit>("Output2")->toolTip(), u"20/3/3 [00:00:00] @ 2005-03-17"_s);
    QCOMPARE(m_opened,
             QStringList{
                 QUrl::fromLocalFile(m_dir->path() + u"/results.tmp.inkwell.2005.03-03.htm"_s).toString()});
}

void TestForm1::stopDuringALoad_data()
{
    QTest::addColumn<bool>("close");
    QTest::addColumn<QString>("hanging"); // stopped during an entry, Cancel would still open the report
    QTest::newRow("Cancel Search") << false << u"/~inkwell/2005/03/"_s;
    QTest::newRow("closing the window") << true << u"/~inkwell/101.html"_s;
}

void TestForm1::stopDuringALoad()
{
    QFETCH(bool, close);
    QFETCH(QString, hanging);
    m_window->windowState().strSiteHost = m_server->host();
    m_server->setHang(hanging);
    bool hiddenAtOnce = false;
    whenRequested(hanging, [&] {
        close ? void(m_window->close())
              : QTest::mouseClick(child<QPushButton>("CancelSearchButton"), Qt::LeftButton);
        hiddenAtOnce = !m_window->isVisible();
    });
    clickSearch();
    QCOMPARE(hiddenAtOnce, close);
    QCOMPARE(m_window->isVisible(), !close);
    QVERIFY(m_window->logText().endsWith(u"\r\n --- stopped by user --- \r\n"_s));
    QVERIFY(child<QPushButton>("SearchButton")->isEnabled());
    QVERIFY(!child<QPushButton>("CancelSearchButton")->isEnabled());
    QCOMPARE(m_opened, QStringList()); // no report pops up
    // The next search starts with the stop flag down again.
    m_server->setHang(hanging, false);
    clickSearch();
    QVERIFY(m_window->logText().endsWith(u"3 links scanned;\r\n"_s));
}

void TestForm1::matchModeChangeAppliesToTheNextSearch()
{
    m_window->windowState().strSiteHost = m_server->host();
    whenRequested(u"/~inkwell/2005/03/"_s, [this] { item("useRegExps")->trigger(); });
    clickSearch();
    QVERIFY(m_window->logText().startsWith(u"Scan():\r\n"_s));
    QVERIFY(item("useRegExps")->isChecked());
    clickSearch();
    QVERIFY(m_window->logText().startsWith(u"RegScan():\r\n"_s));
}

void TestForm1::helpPageOpensEveryTime()
{
    item("gotoTheHelpPage")->trigger();
    item("gotoTheHelpPage")->trigger();
    QCOMPARE(m_shownExternally, QStringList(2, Form1::HelpPageAddress.toString()));
    QVERIFY(m_server->requests().isEmpty());

    // A damaged settings file keeps the browser from starting: the user is told, nothing else happens.
    QVERIFY(damageSettings());
    const ShownMessage shown = closeMessageOf([this] { item("gotoTheHelpPage")->trigger(); });
    QVERIFY2(shown.text.startsWith(u"The help page cannot be shown:"_s), qPrintable(shown.text));
    QCOMPARE(m_shownExternally.size(), 2);
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
