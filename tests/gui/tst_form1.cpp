// SPDX-License-Identifier: GPL-3.0-or-later
#include "JournalServer.h"
#include "TestFolder.h"
#include "gui/Form1.h"
#include "gui/WindowLayout.h"
#include "loader/NetworkBrowser.h"
#include "platform/Translations.h"
#include "sites/JournalSiteRules.h"
#include "sites/Sites.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTranslator>

using namespace diarytrawl;
using namespace diarytrawl::test;
using namespace Qt::StringLiterals;

class TestForm1 : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void stateAfterStart();
    void otherMenu_data();
    void otherMenu();
    void siteMenu_data();
    void siteMenu();
    void browserCommands();
    void textsInBothLanguages_data();
    void textsInBothLanguages();
    void layoutRule_data();
    void layoutRule();
    void captionWhileMinimized();
    void searchesFromTheWindow();

private:
    void makeWindow();
    // Makes the window anew in the language, as the program does on a desktop that speaks it.
    void speak(const QLocale &language)
    {
        qDeleteAll(m_translations);
        m_translations = installTranslations(language);
        makeWindow();
    }
    // What the user reads of the named object: a window's caption; a plain widget's controls; a menu's
    // title and items; the dialogs an item opens, or items separated by blanks open in turn, each with
    // its title, texts and buttons.
    QString textOf(const QString &name);
    QWidget *child(QAnyStringView name) const { return m_window->findChild<QWidget *>(name.toString()); }
    QAction *item(QAnyStringView name) const { return m_window->findChild<QAction *>(name.toString()); }
    // Triggers the items named in turn, each name with prefix before it.
    void trigger(const QString &names, const QString &prefix = {}) const
    {
        for (const QString &name : names.split(u' '))
            item(prefix + name)->trigger();
    }
    QMenu *menu(QAnyStringView name) const { return m_window->findChild<QMenu *>(name.toString()); }
    QPlainTextEdit *output() const { return m_window->findChild<QPlainTextEdit *>(u"Output2"_s); }
    // A menu's items, two letters each: x checked or -, e enabled or d.
    QString marks(QAnyStringView name) const
    {
        QString shown;
        for (QAction *action : menu(name)->actions()) {
            shown += action->isChecked() ? u" x"_s : u" -"_s;
            shown += action->isEnabled() ? u'e' : u'd';
        }
        return shown.mid(1);
    }
    // Search! enabled and Cancel Search not: no search runs.
    bool idle() const
    {
        return child("SearchButton")->isEnabled() && !child("CancelSearchButton")->isEnabled();
    }
    // Runs action, closing the message boxes it opens and giving each input or file dialog the next of
    // answers (a null answer cancels it). Says what each message box showed and what each input dialog
    // offered.
    QStringList answer(const std::function<void()> &action, QStringList answers = {});
    // Clicks Search!; f runs once the search has got as far as requesting target.
    void search(const QString &target = {}, const std::function<void()> &f = {});
    bool damageSettings() const
    {
        QFile settings(m_settings->filePath());
        return settings.open(QIODevice::WriteOnly) && settings.write("{ damaged") > 0;
    }

    std::unique_ptr<TestFolder> m_dir;
    std::unique_ptr<JournalServer> m_server;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<web::NetworkBrowserFactory> m_browsers;
    SystemClock m_clock;
    QStringList m_opened;          // what the window handed to the desktop
    QStringList m_shownExternally; // what visible browsers were sent to
    std::unique_ptr<Form1> m_window;
    QList<QTranslator *> m_translations;
    QStringList m_dialogs; // every dialog answer() met, with its title, texts and buttons
};

void TestForm1::init()
{
    m_dir = std::make_unique<TestFolder>();
    m_server = std::make_unique<JournalServer>();
    m_server->addEntry({u"inkwell"_s, 2005, 3, 17, 101, u"About LJ"_s, u"<p>Our LJ community</p>"_s});
    m_settings = std::make_unique<SettingsStore>(m_dir->path() + u"/settings.json"_s);
    web::NetworkBrowserOptions options;
    options.settingsFile = m_settings->filePath();
    options.cacheFile = m_dir->path() + u"/cache/pages.sqlite"_s;
    options.timeScale = 0;
    options.siteRules = std::make_shared<sites::JournalSiteRules>();
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
    qDeleteAll(m_translations);
    m_translations.clear();
    m_browsers.reset();
    m_settings.reset();
    m_server.reset();
    m_dir.reset();
}

QStringList TestForm1::answer(const std::function<void()> &action, QStringList answers)
{
    QStringList shown;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (!dialog)
            return;
        QStringList seen{dialog->windowTitle(), box ? box->text() : QString()};
        if (auto *input = qobject_cast<QInputDialog *>(dialog))
            seen << input->labelText();
        if (auto *files = qobject_cast<QFileDialog *>(dialog))
            seen << files->nameFilters().join(u";;");
        for (QAbstractButton *button : dialog->findChild<QDialogButtonBox *>()->buttons())
            seen << button->text();
        m_dialogs << seen.filter(QRegularExpression(u"."_s)).join(u" | ");
        const QString given = box || answers.isEmpty() ? QString() : answers.takeFirst();
        if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
            shown << input->textValue();
            input->setTextValue(given);
        } else if (auto *files = qobject_cast<QFileDialog *>(dialog)) {
            files->selectFile(given);
        }
        box || !given.isNull() ? dialog->accept() : dialog->reject();
        if (!box)
            return;
        shown << box->text();
        // Every message of the window looks alike: the program's name, no icon, OK alone.
        QVERIFY(box->windowTitle() == u"diarytrawl" && box->icon() == QMessageBox::NoIcon &&
                box->standardButtons() == QMessageBox::Ok);
    });
    poll.start(5);
    action();
    return shown;
}

void TestForm1::search(const QString &target, const std::function<void()> &f)
{
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (f && poll.isActive() && m_server->requestCount(target) > 0) {
            poll.stop();
            f();
        }
    });
    poll.start(0); // every round of events: a load may take less than a millisecond
    QTest::mouseClick(child("SearchButton"), Qt::LeftButton);
}

void TestForm1::stateAfterStart()
{
    QVERIFY(menu("ie5")->menuAction()->isVisible());
    QCOMPARE(output()->toPlainText(), u"no search performed"_s);

    // Only the LiveJournal item is checked; everything is enabled; nothing has a shortcut or an access key.
    for (QAction *action : m_window->findChildren<QAction *>()) {
        QCOMPARE(action->isChecked(), action->objectName() == u"menuLJLiveJournal"_s);
        QCOMPARE(action->isEnabled(), action->isVisible()); // a hidden menu is disabled too
        QVERIFY(action->shortcut().isEmpty());
        QVERIFY2(!action->text().contains(u'&'), qPrintable(action->text()));
    }

    // Tab goes through the fields, Search! and the log, skipping the disabled Cancel Search.
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QStringList visited;
    for (int i = 0; i < 8; ++i) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, (QStringList{u"EditNick"_s, u"EditYear"_s, u"FromMonthEdit"_s, u"ToMonthEdit"_s,
                                   u"SearchStringEdit"_s, u"SearchButton"_s, u"Output2"_s, u"EditNick"_s}));

    // The browser settings menu is offered for the versions 5. and 6. alone.
    m_settings->RegWrite(registry::BrowserVersion.toString(), u"11.0.9600"_s, u"REG_SZ"_s);
    makeWindow();
    QVERIFY(!menu("ie5")->menuAction()->isVisible());
}

void TestForm1::otherMenu_data()
{
    QTest::addColumn<QString>("clicks"); // items of the Other and Advanced menus, "menu" left off
    // x/-: save all, matching only, HTML code, all comments, adult content, cookie file; '!': the store is
    // damaged
    QTest::addColumn<QString>("state");

    QTest::newRow("the save pair in turn, the rest on")
        << u"SavePages SaveMatchingPagesOnly SaveMatchingPagesOnly SearchHtmlCode SearchAllComments "
           u"ShowAdultContent UseLoginCookies"_s
        << u"--xxxx"_s;
    QTest::newRow("the save pair the other way, the rest off again")
        << u"SaveMatchingPagesOnly SavePages SavePages SearchHtmlCode SearchHtmlCode SearchAllComments "
           u"SearchAllComments ShowAdultContent ShowAdultContent UseLoginCookies ForgetLoginCookies"_s
        << u"------"_s;
    QTest::newRow("store damaged") << u"SearchAllComments ShowAdultContent UseLoginCookies"_s << u"------!"_s;
}

void TestForm1::otherMenu()
{
    QFETCH(QString, clicks);
    QFETCH(QString, state);
    const bool writable = !state.endsWith(u'!');
    const QString path = m_dir->file(u"cookies.txt"_s);
    QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    QVERIFY(writable || damageSettings());
    const QStringList shown = answer([&] { trigger(clicks, u"menu"_s); }, {path});
    QCOMPARE(shown.size(), writable ? 0 : 3);
    QVERIFY(writable || shown[1].startsWith(u"The setting could not be written:"_s));
    // The save pair and HTML code start afresh; the rest is what the window reads at its next start.
    for (const bool restart : {false, true}) {
        const QStringList atStart = restart ? answer([this] { makeWindow(); }) : QStringList();
        QVERIFY(writable || !restart || atStart.value(0).startsWith(u"The settings could not be read;"_s));
        QCOMPARE(menu("ie5")->menuAction()->isVisible(), writable || !restart); // no version to read
        const WindowState &now = m_window->windowState();
        QString shownState;
        for (const auto &[name, on] : {std::pair{"menuSavePages", now.bSavePages},
                                       {"menuSaveMatchingPagesOnly", now.bSaveMatchingOnly},
                                       {"menuSearchHtmlCode", now.bSearchHtmlCode},
                                       {"menuSearchAllComments", now.bSearchAllComments},
                                       {"menuShowAdultContent", now.bShowAdultContent}}) {
            QCOMPARE(item(name)->isChecked(), on);
            shownState += on ? u'x' : u'-';
        }
        shownState += now.strLoginCookies.isEmpty() ? u'-' : now.strLoginCookies == path ? u'x' : u'?';
        QCOMPARE(shownState, restart ? u"---"_s + state.mid(3, 3) : state.left(6));
    }
}

void TestForm1::siteMenu_data()
{
    QTest::addColumn<QString>("clicks"); // items of the LJ menu, "menuLJ" left off
    QTest::addColumn<QString>("typed");  // the answer to "Other site..."; null cancels
    QTest::addColumn<QString>("host");   // a typed host that the window does not take is refused

    // A click on the checked item would uncheck it by itself.
    QTest::newRow("InsaneJournal twice")
        << u"InsaneJournal InsaneJournal"_s << QString() << u"www.insanejournal.com"_s;
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
    const QStringList shown = answer([&] { trigger(clicks, u"menuLJ"_s); }, {typed});
    // Exactly one item is checked: the one named after the host, or else "Other site...".
    QString expected = u"menuLJOtherSite"_s;
    QStringList checked;
    for (QAction *site : menu("menuSelectLJ")->actions()) {
        if (site->text() == host)
            expected = site->objectName();
        if (site->isChecked())
            checked << site->objectName();
    }
    QCOMPARE(checked, QStringList{expected});
    QCOMPARE(m_window->windowState().strSiteHost, host);
    const bool refused = !typed.isNull() && typed.trimmed() != host;
    QCOMPARE(shown.size(), clicks.count(u"OtherSite"_s) + refused);
    QVERIFY(!refused || shown.last().startsWith(u'"' + typed + u"\" is not a site's host name: "_s));
    if (expected == u"menuLJOtherSite") { // kept, and offered at the next start
        makeWindow();
        QCOMPARE(answer([this] { item("menuLJOtherSite")->trigger(); }).value(0), host);
    }
}

void TestForm1::browserCommands()
{
    QStringList shown = answer([this] { item("ie5SetOfflineMode")->trigger(); });
    QCOMPARE(marks("ie5"), u"-e -e -d -e"_s);
    // The next search reads the page cache alone.
    m_window->windowState().strSiteHost = m_server->host();
    search();
    QVERIFY(m_server->requests().isEmpty());
    QVERIFY(m_window->logText().endsWith(u"1 pages could not be read (see log above);\r\n"_s));

    shown += answer([this] { trigger(u"ie5SetOnlineMode ie5TurnGraphicsOn"_s); });
    QCOMPARE(
        shown,
        (QStringList{
            u"Have set registry keys to force Offline Mode.\r\n(Search locally cached Internet pages.)"_s,
            u"Have set registry keys to force Online Mode.\r\n( Search the online Internet pages :-) )"_s,
            u"Have set IE 5.0 registry keys to turn on graphics, video and sounds."_s}));
    QVERIFY(!isGlobalUserOffline(*m_settings));
    QCOMPARE(marks("ie5"), u"-e -d -e -d"_s);
    makeWindow(); // a new start offers all four again
    QCOMPARE(marks("ie5"), u"-e -e -e -e"_s);

    // The help page opens in the desktop's browser at every click; when the browser cannot start (a
    // damaged settings file), the user is told.
    trigger(u"gotoTheHelpPage gotoTheHelpPage"_s);
    QVERIFY(damageSettings());
    shown = answer([this] { item("gotoTheHelpPage")->trigger(); });
    QVERIFY2(shown.value(0).startsWith(u"The help page cannot be shown:"_s), qPrintable(shown.value(0)));
    QCOMPARE(m_shownExternally, QStringList(2, sites::HelpPage.toString()));
}

void TestForm1::textsInBothLanguages_data()
{
    QTest::addColumn<QString>("name"); // see textOf()
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("russian");

    QTest::newRow("caption") << u"Form1"_s << u"   diarytrawl utility v.1.0.1.7b"_s
                             << u"   утилита diarytrawl v.1.0.1.7b"_s;
    QTest::newRow("form")
        << u"clientArea"_s
        << u"inkwell | Username: | 2005 | Year: | 03 | 03 | Months: | LJ | Search string: | Search! | "
           u"no search performed | Cancel Search"_s
        << u"inkwell | Журнал: | 2005 | Год: | 03 | 03 | Месяцы: | LJ | Строка поиска: | Найти! | "
           u"поиск ещё не выполнялся | Прервать поиск"_s;
    QTest::newRow("browser menu")
        << u"ie5"_s
        << u"Internet Explorer Settings: Turn Graphics Off | Turn Graphics On | Set Offline Mode | "
           u"Set Online Mode"_s
        << u"Настройки Internet Explorer: Отключить графику | Включить графику | Работать автономно | "
           u"Работать в сети"_s;
    QTest::newRow("advanced menu")
        << u"advanced"_s
        << u"Advanced: SearchString is a Regular Expression | '*', '?' mean \"any chars\", \"any symbol\" | "
           u"Understand 'OR' and 'THEN' | Search in HTML code | Search all comments"_s
        << u"Дополнительно: Строка поиска — регулярное выражение | «*», «?» означают «любые символы», "
           u"«любой символ» | Понимать «OR» и «THEN» | Искать в HTML-коде | Искать во всех комментариях"_s;
    QTest::newRow("other menu")
        << u"other"_s
        << u"Other: Save scanned pages | Save matching pages only | Show adult content "
           u"(I am 18 or older) | Use login cookies from a file... | Forget login cookies"_s
        << u"Прочее: Сохранять просмотренные страницы | Сохранять только страницы с "
           u"совпадениями | Показывать материалы для взрослых (мне есть 18) | "
           u"Использовать куки входа из файла... | Забыть куки входа"_s;
    const QString sites =
        u"www.livejournal.com | www.greatestjournal.com | www.deadjournal.com | lj.rossia.org | "
        u"www.dreamwidth.org | www.insanejournal.com | "_s;
    QTest::newRow("site menu") << u"menuSelectLJ"_s << u"LJ: "_s + sites + u"Other site..."_s
                               << u"ЖЖ: "_s + sites + u"Другой сайт..."_s;
    QTest::newRow("help menu") << u"help"_s << u"Help!: Online help page... in Russian :-)"_s
                               << u"Помощь!: Страница помощи в интернете... на русском :-)"_s;
    QTest::newRow("browser commands")
        << u"ie5SetOfflineMode ie5SetOnlineMode ie5TurnGraphicsOff"_s
        << u"diarytrawl | Have set registry keys to force Offline Mode.\r\n(Search locally cached Internet "
           u"pages.) | OK\ndiarytrawl | Have set registry keys to force Online Mode.\r\n( Search the online "
           u"Internet pages :-) ) | OK\ndiarytrawl | Have set IE 5.0 registry keys to turn off graphics. | OK"_s
        << u"diarytrawl | Ключи реестра установлены: включён автономный режим.\r\n(Поиск по страницам из "
           u"локального кэша.) | OK\ndiarytrawl | Ключи реестра установлены: включена работа в сети.\r\n( "
           u"Поиск "
           u"по страницам в интернете :-) ) | OK\ndiarytrawl | Ключи реестра IE 5.0 установлены: графика "
           u"отключена. | OK"_s;
    // Qt's own buttons speak the language too.
    QTest::newRow("other site, refused")
        << u"menuLJOtherSite"_s
        << u"Other site | The journal site's host name, HOST or HOST:PORT: | OK | Cancel\ndiarytrawl | "
           u"\"x..org\" is not a site's host name: a host name has no empty part before, between or after "
           u"its dots. | OK"_s
        << u"Другой сайт | Имя хоста сайта журналов, ХОСТ или ХОСТ:ПОРТ: | OK | Отмена\ndiarytrawl | "
           u"«x..org» "
           u"— не имя хоста сайта: в имени хоста не бывает пустых частей до точек, между ними и после них. | "
           u"OK"_s;
    QTest::newRow("cookie file")
        << u"menuUseLoginCookies"_s
        << u"Use login cookies from a file | Cookie files (*.txt *.sqlite);;All files (*) | &Open | Cancel"_s
        << u"Куки входа из файла | Файлы куки (*.txt *.sqlite);;Все файлы (*) | &Открыть | Отмена"_s;
}

QString TestForm1::textOf(const QString &name)
{
    if (name == u"Form1")
        return m_window->windowTitle();
    if (const QMenu *shown = menu(name)) {
        QStringList items;
        for (const QAction *action : shown->actions())
            items << action->text();
        return shown->title() + u": " + items.filter(QRegularExpression(u"."_s)).join(u" | ");
    }
    if (name.contains(u' ') || item(name)) {
        m_dialogs.clear();
        // A host that "Other site..." refuses, to see why; a file dialog is cancelled.
        answer([&] { trigger(name); }, {name == u"menuLJOtherSite" ? u"x..org"_s : QString()});
        return m_dialogs.join(u'\n');
    }
    QStringList texts;
    for (const QWidget *control : child(name)->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        texts << control->property(control->inherits("QPlainTextEdit") ? "plainText" : "text").toString();
    return texts.filter(QRegularExpression(u"."_s)).join(u" | ");
}

// The window in English as it always was, and in Russian where the desktop speaks Russian.
void TestForm1::textsInBothLanguages()
{
    QFETCH(QString, name);
    QFETCH(QString, english);
    QFETCH(QString, russian);
    speak(QLocale(QLocale::English));
    QCOMPARE(textOf(name), english);
    speak(QLocale(QLocale::Russian));
    QCOMPARE(textOf(name), russian);
}

void TestForm1::layoutRule_data()
{
    QTest::addColumn<QSize>("outer"); // in twips, frame included
    // Output2 width, Output2 height, Cancel top, Search left, search box width.
    QTest::addColumn<ResizedGeometry>("geometry");
    QTest::addColumn<QLocale>("language");
    const QLocale english(QLocale::English);
    QTest::newRow("designed") << QSize(7350, 6915) << ResizedGeometry{6990, 4575, 5790, 6255, 2775}
                              << english;
    // The Search button just clears the search string's caption (3360 + 2535); the log keeps 1500.
    QTest::newRow("minimum") << QSize(MinimumOuterWidth, MinimumOuterHeight)
                             << ResizedGeometry{6630, 1500, 2715, 5895, 2415} << english;
    // The window takes the minimum size instead; the rule itself clamps sizes at zero.
    QTest::newRow("too small") << QSize(300, 200) << ResizedGeometry{0, 0, -925, -795, 0} << english;
    // The longer captions: the menus need a few pixels more than the designed minimum.
    QTest::newRow("minimum, Russian")
        << QSize(MinimumOuterWidth, MinimumOuterHeight) << ResizedGeometry{6630, 1500, 2715, 5895, 2415}
        << QLocale(QLocale::Russian);
}

void TestForm1::layoutRule()
{
    QFETCH(QSize, outer);
    QFETCH(ResizedGeometry, geometry);
    QFETCH(QLocale, language);
    QCOMPARE(layoutForOuterSize(outer.width(), outer.height()), geometry);
    speak(language);
    const QSize frame = m_window->frameGeometry().size() - m_window->size();
    // Below its minimum the window takes the minimum: in English the designed one, in Russian as wide as
    // the menus need.
    const QSize minimum = m_window->minimumSize() + frame;
    QVERIFY(language.language() != QLocale::English ||
            minimum == QSize(MinimumOuterWidth, MinimumOuterHeight) / 15);
    m_window->resize(outer / 15 - frame);
    QTRY_COMPARE(m_window->frameGeometry().size(), (outer / 15).expandedTo(minimum));
    const QSize taken = m_window->frameGeometry().size() * 15;
    const ResizedGeometry at = layoutForOuterSize(taken.width(), taken.height());
    QCOMPARE(child("Output2")->size(), QSize(at.output2Width, at.output2Height) / 15);
    QCOMPARE(child("SearchButton")->x(), at.searchButtonLeft / 15);
    QCOMPARE(child("SearchStringEdit")->width(), at.searchStringEditWidth / 15);
    QCOMPARE(child("CancelSearchButton")->y(), at.cancelSearchButtonTop / 15);
    // Every control is inside the window, none covers another, and a caption shows all its text.
    const QList<QWidget *> controls =
        child("clientArea")->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *one : controls) {
        QVERIFY(child("clientArea")->rect().contains(one->geometry()));
        for (QWidget *other : controls)
            QVERIFY2(one == other || !one->geometry().intersects(other->geometry()),
                     qPrintable(one->objectName() + u' ' + other->objectName()));
        QRect room = one->contentsRect(); // where a label writes; a button, where its style does
        if (auto *button = qobject_cast<QPushButton *>(one)) {
            QStyleOptionButton option;
            option.initFrom(button);
            room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        }
        if (qobject_cast<QLabel *>(one) || qobject_cast<QPushButton *>(one))
            QVERIFY2(one->fontMetrics().horizontalAdvance(one->property("text").toString()) <= room.width(),
                     qPrintable(one->objectName()));
    }
    // Every menu is on the menu bar, none behind its extension button.
    QMenuBar *bar = m_window->menuBar();
    for (QAction *shown : bar->actions())
        QVERIFY2(!shown->isVisible() || bar->rect().contains(bar->actionGeometry(shown)),
                 qPrintable(shown->text()));
}

void TestForm1::captionWhileMinimized()
{
    const QString caption = u"   diarytrawl utility v.1.0.1.7b"_s;
    m_window->StatusReport(u"1/0/0 [00:00:01] "_s);
    // The tool tip on the screen follows the status, where it stands.
    QHelpEvent hover(QEvent::ToolTip, QPoint(20, 20), output()->viewport()->mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(output()->viewport(), &hover);
    QTRY_VERIFY(QToolTip::isVisible());
    m_window->StatusReport(u"2/0/0 [00:00:02] "_s);
    QCOMPARE(QToolTip::text(), u"2/0/0 [00:00:02] "_s);
    QCOMPARE(m_window->windowTitle(), caption);

    m_window->showMinimized();
    QTRY_VERIFY(m_window->isMinimized());
    m_window->StatusReport(u"5/3/0 [00:01:05] @ 2005-03-17"_s);
    QCOMPARE(m_window->windowTitle(), caption + u" 5/3/0 [00:01:05] @ 2005-03-17"_s);

    m_window->showNormal();
    QTRY_VERIFY(!m_window->isMinimized());
    QCOMPARE(m_window->windowTitle(), caption);
}

void TestForm1::searchesFromTheWindow()
{
    m_window->windowState().strSiteHost = m_server->host();
    // Cancel Search during the month page: no report pops up.
    m_server->setHang(u"/~inkwell/2005/03/"_s);
    search(u"/~inkwell/2005/03/"_s, [this] {
        item("assumeOrAndNot")->trigger(); // for the next search, not this one
        QTest::mouseClick(child("CancelSearchButton"), Qt::LeftButton);
    });
    QVERIFY(m_window->logText().endsWith(u"\r\n --- stopped by user --- \r\n"_s));
    QVERIFY(idle());
    QCOMPARE(m_opened, QStringList());
    QCOMPARE(marks("advanced"), u"-d -e xe -e -e"_s);

    // The next search starts with the stop flag down, in the match mode chosen meanwhile.
    m_server->setHang(u"/~inkwell/2005/03/"_s, false);
    m_server->clearRequests();
    bool idleDuring = true;
    search(u"/~inkwell/2005/03/"_s, [&] { // seen while the entry loads at the latest
        idleDuring = child("SearchButton")->isEnabled() || !child("CancelSearchButton")->isEnabled();
    });
    QVERIFY(!idleDuring && idle());
    const QString log = m_window->logText();
    QVERIFY2(log.startsWith(
                 u"RegScan():\r\nnick: \"inkwell\";\r\nyear: \"2005\";\r\nsearch expression: \"LJ\";\r\n"_s),
             qPrintable(log));
    QCOMPARE(output()->toPlainText(), QString(log).replace(u"\r\n"_s, u"\n"_s));
    QCOMPARE(output()->toolTip(), u"20/3/3 [00:00:00] @ 2005-03-17"_s);
    const QStringList report{
        QUrl::fromLocalFile(m_dir->path() + u"/results.tmp.inkwell.2005.03-03.htm"_s).toString()};
    QCOMPARE(m_opened, report);

    // Closing the window during an entry, where Cancel would still open the report, hides it at once (one
    // not read before: the entry read just now comes from the page cache).
    m_server->addEntry({u"inkwell"_s, 2005, 3, 18, 102, u"More"_s, u"<p>More LJ</p>"_s});
    m_server->setHang(u"/~inkwell/102.html"_s);
    m_server->clearRequests();
    bool hiddenAtOnce = false;
    search(u"/~inkwell/102.html"_s, [&] {
        m_window->close();
        hiddenAtOnce = !m_window->isVisible();
    });
    QVERIFY(hiddenAtOnce && !m_window->isVisible());
    QVERIFY(m_window->logText().endsWith(u"\r\n --- stopped by user --- \r\n"_s));
    QCOMPARE(m_opened, report);
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
