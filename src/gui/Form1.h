// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/DateTimeText.h"
#include "core/LogRenderer.h"
#include "core/MatchModes.h"
#include "core/SearchFrontEnd.h"
#include "core/SearchLaunch.h"
#include "core/SearchLog.h"
#include "core/StatusText.h"
#include "loader/Browser.h"
#include "platform/Clock.h"
#include "platform/SettingsStore.h"

#include <QMainWindow>

#include <functional>
#include <optional>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace diarytrawl {

// The program's one window: the search form, the log, the menus and the window-level state. A search
// runs inside the Search button's click and keeps the window responsive by pumping events in its waits;
// the window is the crawl's front end.
class Form1 final : public QMainWindow, public SearchFrontEnd, public SearchForm, private LogView {
    Q_OBJECT

public:
    // What the window needs from outside. openUrl shows an address in the desktop's program for it.
    struct Services {
        BrowserFactory &browserFactory;
        SettingsStore &settings;
        const Clock &clock;
        std::function<void(const QString &address)> openUrl;
    };

    static constexpr QStringView ApplicationTitle = u"diarytrawl";

    explicit Form1(Services services, QWidget *parent = nullptr);
    ~Form1() override;

    // SearchFrontEnd
    WindowState &windowState() override { return m_state; }
    SearchEvents &events() override { return m_events; }
    void showMessage(const QString &strMessage) override;
    void Run(const QString &strFileName) override;
    BrowserFactory &browserFactory() override { return m_services.browserFactory; }
    const Clock &clock() const override { return m_services.clock; }
    const DateTimeText &dateTimeText() const override { return m_dateTimeText; }

    // SearchForm
    void setSearchButtonEnabled(bool enabled) override;
    void setCancelSearchButtonEnabled(bool enabled) override;
    SearchFields readSearchFields() const override;
    const MatchModes &matchModes() const override { return m_matchModes; }

    // Shows the status text (the log's tool tip; the caption while minimized).
    void StatusReport(const QString &strText);

    // The log exactly as the search wrote it, line breaks included.
    const QString &logText() const { return m_logText; }
    bool isSearching() const { return m_searching; }

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // LogView
    void replaceLogText(const QString &text) override;
    void appendLogText(const QString &text) override;

    void createControls();
    void createMenus();
    QAction *addItem(QMenu *menu, const char *name, const QString &caption, void (Form1::*handler)(),
                     bool checkable);

    void Form_Load();
    void readProgramSettings();
    void Form_Resize();
    void followFrame();
    QString GetIEVersion() const;

    void SearchButton_Click();
    void CancelSearchButton_Click();

    void useRegExps_Click();
    void assumeDosFilemasks_Click();
    void assumeOrAndNot_Click();
    void showMatchModes();

    void menuSearchHtmlCode_Click();
    void menuSearchAllComments_Click();
    void menuSavePages_Click();
    void menuSaveMatchingPagesOnly_Click();
    void menuShowAdultContent_Click();
    void menuUseLoginCookies_Click();
    void menuForgetLoginCookies_Click();
    QAction *addSiteItem(const char *name, QStringView host);
    void selectSite(QAction *item, const QString &host);
    void menuLJOtherSite_Click();
    void gotoTheHelpPage_Click();
    void help_Click();

    void ie5TurnGraphicsOff_Click();
    void ie5TurnGraphicsOn_Click();
    void ie5SetOfflineMode_Click();
    void ie5SetOnlineMode_Click();
    // Writes the values in order; when that fails, says so and returns false.
    bool writeSettings(const QList<std::pair<QStringView, QVariant>> &values, const QString &type);
    // Writes the values in order, confirms in a message box, then offers only the other item of the pair.
    void writeBrowserSettings(const QList<std::pair<QStringView, QVariant>> &values, const QString &type,
                              const QString &message, QAction *done, QAction *otherItem);

    // The status text, given anew after every entry with a date stamp.
    class StatusRenderer final : public SearchProgress {
    public:
        explicit StatusRenderer(Form1 &window);

    protected:
        void progressed(bool datedEntry) override;

    private:
        void SetStatusReport();

        Form1 &m_window;
    };

    Services m_services;
    WindowState m_state;
    MatchModes m_matchModes;
    DateTimeText m_dateTimeText;
    SearchLog m_log;
    LogRenderer m_logRenderer{m_log};
    StatusRenderer m_status{*this};
    SearchEventsFanOut m_events{{&m_logRenderer, &m_status}};
    QString m_logText;
    bool m_searching = false;
    bool m_closeWhenSearchEnds = false;
    QSize m_frame;                     // the window frame the layout and the minimum size were made for
    std::optional<QPoint> m_toolTipAt; // where the log's tool tip was last asked for
    QString m_otherSiteHost;           // what "Other site..." offers
    QAction *m_siteItem = nullptr;     // the site item that is checked

    QLineEdit *EditNick = nullptr;
    QLabel *NickLabel = nullptr;
    QLineEdit *EditYear = nullptr;
    QLabel *YearLabel = nullptr;
    QLineEdit *FromMonthEdit = nullptr;
    QLineEdit *ToMonthEdit = nullptr;
    QLabel *MonthsLabel = nullptr;
    QLineEdit *SearchStringEdit = nullptr;
    QLabel *SearchStringLabel = nullptr;
    QPushButton *SearchButton = nullptr;
    QPlainTextEdit *Output2 = nullptr;
    QPushButton *CancelSearchButton = nullptr;
    QFrame *Line2 = nullptr;

    QMenu *ie5 = nullptr;
    QAction *ie5TurnGraphicsOff = nullptr;
    QAction *ie5TurnGraphicsOn = nullptr;
    QAction *ie5SetOfflineMode = nullptr;
    QAction *ie5SetOnlineMode = nullptr;
    QMenu *advanced = nullptr;
    QAction *useRegExps = nullptr;
    QAction *assumeDosFilemasks = nullptr;
    QAction *assumeOrAndNot = nullptr;
    QAction *menuSearchHtmlCode = nullptr;
    QAction *menuSearchAllComments = nullptr;
    QMenu *other = nullptr;
    QAction *menuSavePages = nullptr;
    QAction *menuSaveMatchingPagesOnly = nullptr;
    QAction *menuShowAdultContent = nullptr;
    QAction *menuUseLoginCookies = nullptr;
    QAction *menuForgetLoginCookies = nullptr;
    QMenu *menuSelectLJ = nullptr;
    QAction *menuLJLiveJournal = nullptr;
    QAction *menuLJGreatestJournal = nullptr;
    QAction *menuLJDeadJournal = nullptr;
    QAction *menuLJRossiaOrg = nullptr;
    QAction *menuLJDreamwidth = nullptr;
    QAction *menuLJInsaneJournal = nullptr;
    QAction *menuLJOtherSite = nullptr;
    QMenu *help = nullptr;
    QAction *gotoTheHelpPage = nullptr;
};

} // namespace diarytrawl
