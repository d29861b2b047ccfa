// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form1.h"

#include "WindowLayout.h"
#include "platform/FileSystem.h"
#include "platform/PlatformError.h"
#include "sites/Sites.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QHelpEvent>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTextStream>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <algorithm>

namespace diarytrawl {

using namespace Qt::StringLiterals;

namespace {

// The browser's display settings that the graphics commands write.
constexpr QStringView DisplayInlineVideos =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main\\Display Inline Videos";
constexpr QStringView DisplayInlineImages =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main\\Display Inline Images";
constexpr QStringView PlayBackgroundSounds =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main\\Play_Background_Sounds";

// Client-area size as designed, in twips.
constexpr int ClientWidth = 7230;
constexpr int ClientHeight = 6120;
// A caption's height: it ends where the field below it begins.
constexpr int CaptionHeight = 240;

void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

// The designed widths hold the English captions in a desktop's usual font. A longer translation (or a
// larger font) widens a caption or a button to its text, rightwards into the room the design leaves
// after it, rather than cut the text off; the layout test holds the result to the rule that no control
// covers another.
void fitToText(QWidget *control, const QString &text)
{
    int needed = control->fontMetrics().horizontalAdvance(text);
    if (qobject_cast<QPushButton *>(control)) // the margins QCommonStyle gives a button's text
        needed += control->style()->pixelMetric(QStyle::PM_ButtonMargin) +
                  2 * control->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    if (needed > control->width())
        control->resize(needed, control->height());
}

} // namespace

Form1::Form1(Services services, QWidget *parent)
    : QMainWindow(parent)
    , m_services(std::move(services))
    , m_log(*this)
{
    setObjectName(u"Form1"_s);
    //: The window's caption as designed, three blanks first; %1 is the version.
    setWindowTitle(tr("   diarytrawl utility v.%1").arg(QStringLiteral(DIARYTRAWL_VERSION)));
    setWindowIcon(QIcon(u":/icons/diarytrawl-32.png"_s));
    createControls();
    createMenus();
    Form_Load();
    followFrame();
    resize(toPixels(ClientWidth), toPixels(ClientHeight) + menuBar()->sizeHint().height());
    EditNick->setFocus();
}

Form1::~Form1() = default;

Form1::StatusRenderer::StatusRenderer(Form1 &window)
    : SearchProgress(window.m_services.clock, window.m_dateTimeText)
    , m_window(window)
{}

void Form1::StatusRenderer::progressed(bool datedEntry)
{
    if (datedEntry)
        SetStatusReport();
}

void Form1::StatusRenderer::SetStatusReport()
{
    m_window.StatusReport(statusText());
}

void Form1::createControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(u"clientArea"_s);
    setCentralWidget(client);

    auto lineEdit = [client](const char *name, const QString &text) {
        auto *edit = new QLineEdit(text, client);
        edit->setObjectName(QString::fromLatin1(name));
        return edit;
    };
    auto label = [client](const char *name, const QString &text, int left, int width) {
        auto *caption = new QLabel(text, client);
        caption->setObjectName(QString::fromLatin1(name));
        caption->setTextFormat(Qt::PlainText);
        place(caption, left, 120, width, CaptionHeight);
        fitToText(caption, text);
        return caption;
    };

    EditNick = lineEdit("EditNick", u"inkwell"_s);
    place(EditNick, 120, 360, 1095, 285);
    //: Above the field for the user name of the journal to search; at most as wide as that field.
    NickLabel = label("NickLabel", tr("Username:"), 120, 1095);
    EditYear = lineEdit("EditYear", u"2005"_s);
    place(EditYear, 1320, 360, 615, 285);
    YearLabel = label("YearLabel", tr("Year:"), 1320, 615);
    FromMonthEdit = lineEdit("FromMonthEdit", u"03"_s);
    place(FromMonthEdit, 2040, 360, 375, 285);
    ToMonthEdit = lineEdit("ToMonthEdit", u"03"_s);
    place(ToMonthEdit, 2760, 360, 375, 285);
    MonthsLabel = label("MonthsLabel", tr("Months:"), 2040, 1095);
    SearchStringEdit = lineEdit("SearchStringEdit", u"LJ"_s);
    place(SearchStringEdit, 3360, 360, 2535, 285);
    SearchStringLabel = label("SearchStringLabel", tr("Search string:"), 3360, 2535);

    SearchButton = new QPushButton(tr("Search!"), client);
    SearchButton->setObjectName(u"SearchButton"_s);
    place(SearchButton, 6120, 240, 855, 375);
    fitToText(SearchButton, SearchButton->text());
    connect(SearchButton, &QPushButton::clicked, this, &Form1::SearchButton_Click);

    Output2 = new QPlainTextEdit(client);
    Output2->setObjectName(u"Output2"_s);
    Output2->setLineWrapMode(QPlainTextEdit::NoWrap);
    Output2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Output2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Output2->setTabChangesFocus(true);
    place(Output2, 120, 840, 6975, 4575);
    Output2->installEventFilter(this);
    Output2->viewport()->installEventFilter(this);
    m_log.reset(tr("no search performed"));

    CancelSearchButton = new QPushButton(tr("Cancel Search"), client);
    CancelSearchButton->setObjectName(u"CancelSearchButton"_s);
    CancelSearchButton->setEnabled(false);
    place(CancelSearchButton, 2640, 5640, 1455, 375);
    fitToText(CancelSearchButton, CancelSearchButton->text());
    connect(CancelSearchButton, &QPushButton::clicked, this, &Form1::CancelSearchButton_Click);

    // The dash between the two month boxes, from (2520, 480) to (2640, 480).
    Line2 = new QFrame(client);
    Line2->setObjectName(u"Line2"_s);
    Line2->setFrameShape(QFrame::HLine);
    Line2->setGeometry(toPixels(2520), toPixels(480), toPixels(2640 - 2520), 1);

    // Labels and the line take no focus; Tab goes through the fields, the buttons and the log in this order.
    const QList<QWidget *> tabOrder = {EditNick,         EditYear,     FromMonthEdit, ToMonthEdit,
                                       SearchStringEdit, SearchButton, Output2,       CancelSearchButton};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

QAction *Form1::addItem(QMenu *menu, const char *name, const QString &caption, void (Form1::*handler)(),
                        bool checkable)
{
    QAction *item = menu->addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    item->setCheckable(checkable);
    item->setShortcutContext(Qt::WidgetShortcut); // no shortcuts: nothing reaches an item but a click
    if (handler)
        connect(item, &QAction::triggered, this, handler);
    return item;
}

void Form1::createMenus()
{
    QMenuBar *bar = menuBar();
    auto topMenu = [bar](const char *name, const QString &caption) {
        QMenu *menu = bar->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        return menu;
    };

    // Captions hold no '&', so neither the menus nor their items carry access keys.
    ie5 = topMenu("ie5", tr("Internet Explorer Settings"));
    ie5TurnGraphicsOff =
        addItem(ie5, "ie5TurnGraphicsOff", tr("Turn Graphics Off"), &Form1::ie5TurnGraphicsOff_Click, false);
    ie5TurnGraphicsOn =
        addItem(ie5, "ie5TurnGraphicsOn", tr("Turn Graphics On"), &Form1::ie5TurnGraphicsOn_Click, false);
    ie5SetOfflineMode =
        addItem(ie5, "ie5SetOfflineMode", tr("Set Offline Mode"), &Form1::ie5SetOfflineMode_Click, false);
    ie5SetOnlineMode =
        addItem(ie5, "ie5SetOnlineMode", tr("Set Online Mode"), &Form1::ie5SetOnlineMode_Click, false);

    advanced = topMenu("advanced", tr("Advanced"));
    useRegExps = addItem(advanced, "useRegExps", tr("SearchString is a Regular Expression"),
                         &Form1::useRegExps_Click, true);
    assumeDosFilemasks =
        addItem(advanced, "assumeDosFilemasks", tr("'*', '?' mean \"any chars\", \"any symbol\""),
                &Form1::assumeDosFilemasks_Click, true);
    assumeOrAndNot = addItem(advanced, "assumeOrAndNot", tr("Understand 'OR' and 'THEN'"),
                             &Form1::assumeOrAndNot_Click, true);
    menuSearchHtmlCode = addItem(advanced, "menuSearchHtmlCode", tr("Search in HTML code"),
                                 &Form1::menuSearchHtmlCode_Click, true);
    menuSearchAllComments = addItem(advanced, "menuSearchAllComments", tr("Search all comments"),
                                    &Form1::menuSearchAllComments_Click, true);

    other = topMenu("other", tr("Other"));
    menuSavePages =
        addItem(other, "menuSavePages", tr("Save scanned pages"), &Form1::menuSavePages_Click, true);
    menuSaveMatchingPagesOnly = addItem(other, "menuSaveMatchingPagesOnly", tr("Save matching pages only"),
                                        &Form1::menuSaveMatchingPagesOnly_Click, true);
    other->addSeparator();
    menuShowAdultContent = addItem(other, "menuShowAdultContent", tr("Show adult content (I am 18 or older)"),
                                   &Form1::menuShowAdultContent_Click, true);
    menuUseLoginCookies = addItem(other, "menuUseLoginCookies", tr("Use login cookies from a file..."),
                                  &Form1::menuUseLoginCookies_Click, false);
    menuForgetLoginCookies = addItem(other, "menuForgetLoginCookies", tr("Forget login cookies"),
                                     &Form1::menuForgetLoginCookies_Click, false);

    //: The menu of journal sites, named after LiveJournal, the first of them.
    menuSelectLJ = topMenu("menuSelectLJ", tr("LJ"));
    menuLJLiveJournal = addSiteItem("menuLJLiveJournal", sites::LiveJournal);
    menuLJGreatestJournal = addSiteItem("menuLJGreatestJournal", sites::GreatestJournal);
    menuLJDeadJournal = addSiteItem("menuLJDeadJournal", sites::DeadJournal);
    menuLJRossiaOrg = addSiteItem("menuLJRossiaOrg", sites::RossiaOrg);
    menuLJDreamwidth = addSiteItem("menuLJDreamwidth", sites::Dreamwidth);
    menuLJInsaneJournal = addSiteItem("menuLJInsaneJournal", sites::InsaneJournal);
    menuSelectLJ->addSeparator();
    menuLJOtherSite =
        addItem(menuSelectLJ, "menuLJOtherSite", tr("Other site..."), &Form1::menuLJOtherSite_Click, true);

    help = topMenu("help", tr("Help!"));
    connect(help, &QMenu::aboutToShow, this, &Form1::help_Click);
    gotoTheHelpPage = addItem(help, "gotoTheHelpPage", tr("Online help page... in Russian :-)"),
                              &Form1::gotoTheHelpPage_Click, false);
}

QAction *Form1::addSiteItem(const char *name, QStringView host)
{
    QAction *item = addItem(menuSelectLJ, name, host.toString(), nullptr, true);
    connect(item, &QAction::triggered, this, [this, item, host] { selectSite(item, host.toString()); });
    return item;
}

void Form1::Form_Load()
{
    selectSite(menuLJLiveJournal, sites::LiveJournal.toString());
    m_state.strFormCaption = windowTitle();
    m_state.bStopRequested = false;
    m_state.bSavePages = menuSavePages->isChecked() && !menuSaveMatchingPagesOnly->isChecked();
    m_state.bSaveMatchingOnly = menuSaveMatchingPagesOnly->isChecked();
    m_state.strSavedPagesFolder = u"saved.pages.tmp"_s;

    const QString versionStart = GetIEVersion().left(2);
    ie5->menuAction()->setVisible(versionStart == u"5." || versionStart == u"6.");
    readProgramSettings();
}

void Form1::readProgramSettings()
{
    try {
        const SettingsStore &store = m_services.settings;
        const std::optional<QVariant> adult = store.find(registry::ShowAdultContent.toString());
        const std::optional<QVariant> cookies = store.find(registry::LoginCookiesFile.toString());
        const std::optional<QVariant> otherSite = store.find(registry::OtherSiteHost.toString());
        const std::optional<QVariant> allComments = store.find(registry::SearchAllComments.toString());
        m_state.bSearchAllComments = allComments && allComments->toUInt() == 1;
        m_state.bShowAdultContent = adult && adult->toUInt() == 1;
        m_state.strLoginCookies = cookies ? cookies->toString() : QString();
        m_otherSiteHost = otherSite ? otherSite->toString() : QString();
    } catch (const PlatformError &error) {
        // Said once the window is up: a message box now would stand alone before it.
        QTimer::singleShot(0, this, [this, text = error.description()] {
            showMessage(tr("The settings could not be read; the Other menu starts with its defaults:") +
                        u"\r\n" + text);
        });
    }
    menuShowAdultContent->setChecked(m_state.bShowAdultContent);
    menuSearchAllComments->setChecked(m_state.bSearchAllComments);
}

QString Form1::GetIEVersion() const
{
    try {
        return m_services.settings.RegRead(registry::BrowserVersion.toString()).toString();
    } catch (const PlatformError &) {
        return QString(); // an unreadable store offers no browser settings menu
    }
}

// The layout rule and the minimum size are given for the outer size, frame included; the frame is known only
// once the window is on the screen (and may change with the window manager), so both follow it.
// The designed minimum width holds the English menus on one line of the menu bar. Where the menus need
// more (the Russian captions need a few pixels more, and so may a larger font), the minimum grows to them
// rather than hide the last menus behind the bar's extension button; the layout rule itself is unchanged.
void Form1::followFrame()
{
    m_frame = frameGeometry().size() - size();
    const QSize designed = QSize(toPixels(MinimumOuterWidth), toPixels(MinimumOuterHeight)) - m_frame;
    // Measured on a bar of its own: the window's bar lays its menus out for the width the window has now.
    QMenuBar wholeBar;
    wholeBar.addActions(menuBar()->actions());
    setMinimumSize(std::max(designed.width(), wholeBar.sizeHint().width()), designed.height());
}

void Form1::Form_Resize()
{
    if (isMinimized())
        return;
    if (frameGeometry().size() - size() != m_frame)
        followFrame();
    const QRect outer = frameGeometry();
    const ResizedGeometry geometry = layoutForOuterSize(toTwips(outer.width()), toTwips(outer.height()));
    Output2->resize(toPixels(geometry.output2Width), Output2->height());
    CancelSearchButton->move(CancelSearchButton->x(), toPixels(geometry.cancelSearchButtonTop));
    Output2->resize(Output2->width(), toPixels(geometry.output2Height));
    SearchButton->move(toPixels(geometry.searchButtonLeft), SearchButton->y());
    SearchStringEdit->resize(toPixels(geometry.searchStringEditWidth), SearchStringEdit->height());
    setWindowTitle(m_state.strFormCaption);
}

bool Form1::event(QEvent *event)
{
    const bool handled = QMainWindow::event(event);
    const QEvent::Type type = event->type();
    if ((type == QEvent::Show || type == QEvent::Move) && frameGeometry().size() - size() != m_frame)
        Form_Resize();
    return handled;
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ToolTip && (watched == Output2 || watched == Output2->viewport()))
        m_toolTipAt = static_cast<QHelpEvent *>(event)->globalPos();
    return QMainWindow::eventFilter(watched, event);
}

void Form1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void Form1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (!m_searching) {
        event->accept();
        return;
    }
    // The crawl runs inside the Search button's click, below this event on the stack: ask it to stop,
    // get out of the user's way, and close for real once it has returned.
    m_closeWhenSearchEnds = true;
    m_state.bStopRequested = true;
    hide();
    event->ignore();
}

void Form1::replaceLogText(const QString &text)
{
    m_logText = text;
    Output2->setPlainText(text);
}

void Form1::appendLogText(const QString &text)
{
    m_logText += text;
    Output2->moveCursor(QTextCursor::End);
    Output2->insertPlainText(text);
    Output2->ensureCursorVisible();
}

void Form1::StatusReport(const QString &strText)
{
    const QString shownBefore = Output2->toolTip();
    Output2->setToolTip(strText);
    // A tool tip on the screen keeps its text until the mouse moves: give it the new one where it stands.
    if (m_toolTipAt && QToolTip::isVisible() && QToolTip::text() == shownBefore)
        QToolTip::showText(*m_toolTipAt, strText, Output2);
    if (isMinimized())
        setWindowTitle(m_state.strFormCaption + u' ' + strText);
}

void Form1::showMessage(const QString &strMessage)
{
    if (m_closeWhenSearchEnds) {
        QTextStream(stderr) << strMessage; // the window is gone from the screen
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle.toString(), strMessage, QMessageBox::Ok, this);
    box.exec();
}

void Form1::Run(const QString &strFileName)
{
    if (m_closeWhenSearchEnds)
        return; // the user closed the window during the search
    m_services.openUrl(QUrl::fromLocalFile(fso::GetAbsolutePathName(strFileName)).toString());
}

void Form1::setSearchButtonEnabled(bool enabled)
{
    SearchButton->setEnabled(enabled);
}

void Form1::setCancelSearchButtonEnabled(bool enabled)
{
    CancelSearchButton->setEnabled(enabled);
}

SearchFields Form1::readSearchFields() const
{
    return {EditNick->text(), EditYear->text(), FromMonthEdit->text(), ToMonthEdit->text(),
            SearchStringEdit->text()};
}

void Form1::SearchButton_Click()
{
    if (m_searching)
        return;
    m_searching = true;
    diarytrawl::SearchButton_Click(*this, *this);
    m_searching = false;
    if (!m_closeWhenSearchEnds)
        return;
    close();
    // Hidden since the user closed it, the window no longer counts as the last one closing, so Qt would
    // not end the program: end it as that closing would have.
    if (testAttribute(Qt::WA_QuitOnClose) && QApplication::quitOnLastWindowClosed())
        QApplication::quit();
}

void Form1::CancelSearchButton_Click()
{
    diarytrawl::CancelSearchButton_Click(m_state);
}

void Form1::showMatchModes()
{
    const std::pair<QAction *, MenuItemState> items[] = {
        {useRegExps, m_matchModes.useRegExps()},
        {assumeDosFilemasks, m_matchModes.assumeDosFilemasks()},
        {assumeOrAndNot, m_matchModes.assumeOrAndNot()}};
    for (const auto &[item, state] : items) {
        item->setChecked(state.checked);
        item->setEnabled(state.enabled);
    }
}

void Form1::useRegExps_Click()
{
    m_matchModes.useRegExps_Click();
    showMatchModes();
}

void Form1::assumeDosFilemasks_Click()
{
    m_matchModes.assumeDosFilemasks_Click();
    showMatchModes();
}

void Form1::assumeOrAndNot_Click()
{
    m_matchModes.assumeOrAndNot_Click();
    showMatchModes();
}

void Form1::menuSearchHtmlCode_Click()
{
    m_state.bSearchHtmlCode = !m_state.bSearchHtmlCode;
    menuSearchHtmlCode->setChecked(m_state.bSearchHtmlCode);
}

void Form1::menuSearchAllComments_Click()
{
    const bool wanted = !m_state.bSearchAllComments;
    if (writeSettings({{registry::SearchAllComments, wanted ? 1 : 0}}, u"REG_DWORD"_s))
        m_state.bSearchAllComments = wanted;
    menuSearchAllComments->setChecked(m_state.bSearchAllComments);
}

void Form1::menuSavePages_Click()
{
    const bool nowChecked = !m_state.bSavePages;
    menuSavePages->setChecked(nowChecked);
    if (nowChecked)
        menuSaveMatchingPagesOnly->setChecked(false);
    m_state.bSavePages = menuSavePages->isChecked();
    m_state.bSaveMatchingOnly = menuSaveMatchingPagesOnly->isChecked();
}

void Form1::menuSaveMatchingPagesOnly_Click()
{
    const bool nowChecked = !m_state.bSaveMatchingOnly;
    menuSaveMatchingPagesOnly->setChecked(nowChecked);
    if (nowChecked)
        menuSavePages->setChecked(false);
    m_state.bSavePages = menuSavePages->isChecked();
    m_state.bSaveMatchingOnly = menuSaveMatchingPagesOnly->isChecked();
}

void Form1::menuShowAdultContent_Click()
{
    const bool wanted = !m_state.bShowAdultContent;
    if (writeSettings({{registry::ShowAdultContent, wanted ? 1 : 0}}, u"REG_DWORD"_s))
        m_state.bShowAdultContent = wanted;
    menuShowAdultContent->setChecked(m_state.bShowAdultContent);
}

void Form1::menuUseLoginCookies_Click()
{
    const QString file = QFileDialog::getOpenFileName(
        this, tr("Use login cookies from a file"), m_state.strLoginCookies,
        //: File dialog filters: the patterns in brackets and the ";;" between stay.
        tr("Cookie files (*.txt *.sqlite);;All files (*)"));
    if (!file.isEmpty() && writeSettings({{registry::LoginCookiesFile, file}}, u"REG_SZ"_s))
        m_state.strLoginCookies = file;
}

void Form1::menuForgetLoginCookies_Click()
{
    if (writeSettings({{registry::LoginCookiesFile, QString()}}, u"REG_SZ"_s))
        m_state.strLoginCookies.clear();
}

void Form1::selectSite(QAction *item, const QString &host)
{
    m_siteItem = item;
    m_state.strSiteHost = host;
    // A click toggles a check item by itself, so every mark is set again.
    for (QAction *site : menuSelectLJ->actions())
        site->setChecked(site == m_siteItem);
}

void Form1::menuLJOtherSite_Click()
{
    selectSite(m_siteItem, m_state.strSiteHost); // nothing changes until a host is accepted
    bool accepted = false;
    const QString host =
        QInputDialog::getText(this, tr("Other site"), tr("The journal site's host name, HOST or HOST:PORT:"),
                              QLineEdit::Normal, m_otherSiteHost, &accepted)
            .trimmed();
    if (!accepted)
        return;
    if (const QString problem = sites::siteHostProblem(host); !problem.isEmpty()) {
        showMessage(tr("\"%1\" is not a site's host name: %2.").arg(host, problem));
        return;
    }
    if (!writeSettings({{registry::OtherSiteHost, host}}, u"REG_SZ"_s))
        return;
    m_otherSiteHost = host;
    selectSite(menuLJOtherSite, host);
}

void Form1::gotoTheHelpPage_Click()
{
    try {
        const std::unique_ptr<Browser> browser = m_services.browserFactory.createBrowser();
        browser->setSilent(false);
        browser->setVisible(true);
        browser->Navigate(sites::HelpPage.toString());
    } catch (const PlatformError &error) {
        showMessage(tr("The help page cannot be shown:") + u"\r\n" +
                    error.description()); // e.g. a damaged settings file
    }
}

void Form1::help_Click()
{}

bool Form1::writeSettings(const QList<std::pair<QStringView, QVariant>> &values, const QString &type)
{
    try {
        for (const auto &[name, value] : values)
            m_services.settings.RegWrite(name.toString(), value, type);
    } catch (const PlatformError &error) {
        showMessage(tr("The setting could not be written:") + u"\r\n" + error.description());
        return false;
    }
    return true;
}

void Form1::writeBrowserSettings(const QList<std::pair<QStringView, QVariant>> &values, const QString &type,
                                 const QString &message, QAction *done, QAction *otherItem)
{
    if (!writeSettings(values, type))
        return; // not confirmed, and the menu keeps offering the command
    showMessage(message);
    otherItem->setEnabled(true);
    done->setEnabled(false);
}

void Form1::ie5SetOfflineMode_Click()
{
    writeBrowserSettings({{registry::GlobalUserOffline, 1}}, u"REG_DWORD"_s,
                         tr("Have set registry keys to force Offline Mode.") + u"\r\n" +
                             tr("(Search locally cached Internet pages.)"),
                         ie5SetOfflineMode, ie5SetOnlineMode);
}

void Form1::ie5SetOnlineMode_Click()
{
    writeBrowserSettings({{registry::GlobalUserOffline, 0}}, u"REG_DWORD"_s,
                         tr("Have set registry keys to force Online Mode.") + u"\r\n" +
                             tr("( Search the online Internet pages :-) )"),
                         ie5SetOnlineMode, ie5SetOfflineMode);
}

void Form1::ie5TurnGraphicsOff_Click()
{
    writeBrowserSettings(
        {{DisplayInlineVideos, u"no"_s}, {DisplayInlineImages, u"no"_s}, {PlayBackgroundSounds, u"no"_s}},
        u"REG_SZ"_s, tr("Have set IE 5.0 registry keys to turn off graphics."), ie5TurnGraphicsOff,
        ie5TurnGraphicsOn);
}

void Form1::ie5TurnGraphicsOn_Click()
{
    writeBrowserSettings(
        {{DisplayInlineVideos, u"yes"_s}, {DisplayInlineImages, u"yes"_s}, {PlayBackgroundSounds, u"yes"_s}},
        u"REG_SZ"_s, tr("Have set IE 5.0 registry keys to turn on graphics, video and sounds."),
        ie5TurnGraphicsOn, ie5TurnGraphicsOff);
}

} // namespace diarytrawl
