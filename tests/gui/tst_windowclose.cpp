// SPDX-License-Identifier: GPL-3.0-or-later
#include "JournalServer.h"
#include "platform/SettingsStore.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

namespace {

constexpr int TimeoutMs = 20000;

// Asks the window to close as a window manager does when the user clicks its close button; checked, so
// that the server has passed the message on before the connection goes.
bool closeAsTheWindowManager(const QString &display, xcb_window_t window)
{
    xcb_connection_t *connection = xcb_connect(qPrintable(display), nullptr);
    xcb_client_message_event_t event{XCB_CLIENT_MESSAGE, 32, 0, window, XCB_ATOM_NONE, {}};
    for (xcb_atom_t *atom : {&event.type, &event.data.data32[0]}) {
        const char *name = atom == &event.type ? "WM_PROTOCOLS" : "WM_DELETE_WINDOW";
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
        *atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
    }
    xcb_generic_error_t *error =
        xcb_request_check(connection, xcb_send_event_checked(connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                                                             reinterpret_cast<const char *>(&event)));
    const bool sent = !error && !xcb_connection_has_error(connection);
    std::free(error);
    xcb_disconnect(connection);
    return sent;
}

} // namespace

// The program itself on an X server of its own, used with the keyboard as a person would.
class TestWindowClose : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void closingDuringASearchEndsTheProgram();
};

void TestWindowClose::closingDuringASearchEndsTheProgram()
{
    QTemporaryDir dir;
    test::JournalServer server;
    server.addEntry({u"inkwell"_s, 2005, 3, 17, 101, u"About LJ"_s, u"<p>Our LJ community</p>"_s});
    server.setHang(u"/~inkwell/101.html"_s);
    SettingsStore(dir.filePath(u"config/diarytrawl/settings.json"_s))
        .RegWrite(registry::OtherSiteHost.toString(), server.host(), u"REG_SZ"_s);

    QProcess xvfb; // prints its display number once it takes clients
    xvfb.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-nolisten"_s, u"tcp"_s});
    QVERIFY2(xvfb.waitForStarted(), "no Xvfb: scripts/install-deps installs it");
    QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), TimeoutMs);
    const QString display = u':' + QString::fromLatin1(xvfb.readLine().trimmed());
    qputenv("DISPLAY", display.toLatin1()); // for the program and xdotool
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("XDG_CONFIG_HOME", dir.filePath(u"config"_s).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", dir.filePath(u"cache"_s).toLocal8Bit());
    QProcess program;
    program.setWorkingDirectory(dir.path());
    program.start(QStringLiteral(DIARYTRAWL_BINARY), QStringList());
    const auto xdotool = [](const QString &arguments) {
        QProcess process;
        process.start(u"xdotool"_s, arguments.split(u' '));
        process.waitForFinished(TimeoutMs);
        return QString::fromLatin1(process.readAllStandardOutput()).section(u'\n', 0, 0);
    };
    // "Other site..." (the last item of the fourth menu) offers the stored host; then Search!.
    const QString window = xdotool(u"search --sync --onlyvisible --name diarytrawl"_s);
    QVERIFY2(!window.isEmpty(), "no window, or no xdotool: scripts/install-deps installs it");
    xdotool(u"windowfocus --sync "_s + window + u" key alt Right Right Right Down Up Return"_s);
    xdotool(u"search --sync --onlyvisible --name ^Other.site$ windowfocus --sync %1"_s);
    xdotool(u"key Return"_s);
    xdotool(u"windowfocus --sync "_s + window + u" key Tab Tab Tab Tab Tab space"_s);
    QTRY_VERIFY_WITH_TIMEOUT(server.requestCount(u"/~inkwell/101.html"_s) > 0, TimeoutMs);

    QVERIFY(closeAsTheWindowManager(display, window.toUInt()));
    QVERIFY2(program.waitForFinished(TimeoutMs), "the program went on without its window");
    QVERIFY(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0);
    xvfb.terminate();
    xvfb.waitForFinished();
}

QTEST_GUILESS_MAIN(TestWindowClose)
#include "tst_windowclose.moc"
