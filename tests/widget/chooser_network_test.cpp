// The chooser's network branch against the tests' own Samba server, listed through the
// network-view double beside the test program: hosts as the view reports them, shares after
// the user's credentials (asked again when refused), write tests, folders of a share, and a
// host that does not answer; and, without the view, a host announced by DNS-SD.
#include <sys/stat.h>

#include <QComboBox>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QtTest>
#include <map>
#include <string>
#include <vector>

#include "platform/dns_sd.h"
#include "platform/smb_client.h"
#include "platform/store.h"
#include "test_support.h"
#include "ui/chooser/chooser_window.h"
#include "ui/chooser/network_branch.h"

namespace rd {

namespace {

QStringList Texts(const QTreeWidgetItem* parent) {
    QStringList texts;
    for (int i = 0; i < parent->childCount(); ++i)
        texts << parent->child(i)->text(0);
    return texts;
}

// The shares' texts without their free space, which must be given ("~12 gb free").
QStringList Shares(const QTreeWidgetItem* host) {
    static const QRegularExpression free(" ~[0-9]+ (bytes|kb|mb|gb) free$");
    QStringList texts;
    for (QString text : Texts(host)) {
        if (!free.match(text).hasMatch())
            return {"no free space in: " + text};
        texts << text.remove(free);
    }
    return texts;
}

// Answers the credential questions from a list, recording each question.
struct AskDouble {
    std::vector<std::optional<smb::Credentials>> answers;
    std::vector<std::pair<std::string, bool>> asked;
    std::optional<smb::Credentials> operator()(const std::string& host, bool refused) {
        asked.emplace_back(host, refused);
        if (asked.size() > answers.size())
            return std::nullopt;
        return answers[asked.size() - 1];
    }
};

}  // namespace

class ChooserNetworkTest : public QObject {
    Q_OBJECT

    test::TempDir server_;
    std::string port_;

    QTreeWidgetItem* NetworkRoot(QTreeWidget* tree) {
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            if (tree->topLevelItem(i)->text(0) == "\\\\ (Local Area Network)")
                return tree->topLevelItem(i);
        }
        return nullptr;
    }

private slots:
    void initTestCase() {
        int status = -1;
        port_ = test::RunCommand(std::string(REDODORI_TEST_SUPPORT_DIR) +
                                     "/samba_server.sh start '" + server_.Path() + "'",
                                 &status);
        if (status != 0)
            port_.clear();
        while (!port_.empty() && port_.back() == '\n')
            port_.pop_back();
    }
    void cleanupTestCase() {
        test::RunCommand(std::string(REDODORI_TEST_SUPPORT_DIR) + "/samba_server.sh stop '" +
                         server_.Path() + "'");
        ::unsetenv("REDODORI_TEST_HOSTS");
    }

    void HostsSharesCredentialsAndFolders() {
        if (!smb::Available() || port_.empty())
            QSKIP("needs libsmbclient, root and smbd");
        const std::string host = "127.0.0.1:" + port_;
        // The view knows a dead address too; it answers nothing, and only late.
        const std::string hosts = host + "|0|on|2h|Test server||\n" +
                                  "hidden|2048|on|||\n"
                                  "sleeper|7|off|||\n"
                                  "192.0.2.1:445|7||||\n";
        ::setenv("REDODORI_TEST_HOSTS", hosts.c_str(), 1);
        test::PrivateEnvironment env;
        Store store(env.Dir() / "registry.db");
        TForm1 form(store, false);
        auto* tree = form.findChild<QTreeWidget*>("TreeView1");
        auto* combo = form.findChild<QComboBox*>("ComboBox1");
        AskDouble ask;
        ask.answers = {smb::Credentials{"nobody", "wrong-pw"},
                       smb::Credentials{"nobody", "right-pw"}};
        form.Network().askCredentials = std::ref(ask);
        form.Network().timeoutMs = 1500;
        ::mkdir((server_ / "rw/sub").c_str(), 0777);
        form.show();

        QTreeWidgetItem* root = NetworkRoot(tree);
        QVERIFY(root);
        root->setExpanded(true);
        QTRY_COMPARE(form.Network().Pending(), 0);
        QCOMPARE(Texts(root), QStringList({QString::fromStdString(host) + " (Test server) ~2h",
                                           "192.0.2.1:445"}));
        // Hosts and the root are no destinations.
        tree->clearSelection();
        root->child(0)->setSelected(true);
        QCOMPARE(combo->currentText(), QString());

        QTreeWidgetItem* server = root->child(0);
        server->setExpanded(true);
        QTRY_COMPARE(form.Network().Pending(), 0);
        const std::vector<std::pair<std::string, bool>> asked = {{host, false}, {host, true}};
        QCOMPARE(ask.asked, asked);
        QCOMPARE(Shares(server), QStringList({"Fotos-äß", "ro", "rw  (Writable share)"}));
        QCOMPARE(server->child(1)->foreground(0).color(), QColor(0xFF, 0, 0));
        QVERIFY(server->child(2)->foreground(0).color() != QColor(0xFF, 0, 0));
        // A share tells its free space: the job's size colours it and its folders by whether
        // the job fits.
        form.SetJobTotal(1);
        QCOMPARE(server->child(2)->foreground(0).color(), QColor(0, 0x80, 0));
        QCOMPARE(server->child(1)->foreground(0).color(), QColor(0xFF, 0, 0));
        form.SetJobTotal(uint64_t{1} << 62);
        QCOMPARE(server->child(2)->foreground(0).color(), QColor(0xFF, 0, 0x80));
        tree->clearSelection();
        server->child(2)->setSelected(true);
        QCOMPARE(combo->currentText(), QString::fromStdString("smb://" + host + "/rw/"));

        QTreeWidgetItem* share = server->child(2);
        share->setExpanded(true);
        QTRY_COMPARE(form.Network().Pending(), 0);
        QCOMPARE(Texts(share), QStringList({"sub"}));
        QCOMPARE(share->child(0)->foreground(0).color(), QColor(0xFF, 0, 0x80));
        // A share that disappears: listing it again leaves it empty, and the window goes on.
        QCOMPARE(::rename((server_ / "rw").c_str(), (server_ / "rw-gone").c_str()), 0);
        share->setExpanded(false);
        share->setExpanded(true);
        QTRY_COMPARE(form.Network().Pending(), 0);
        QCOMPARE(Texts(share), QStringList({"-"}));
        QCOMPARE(::rename((server_ / "rw-gone").c_str(), (server_ / "rw").c_str()), 0);
        // The credentials given stay for the session: listing again asks nothing.
        server->setExpanded(false);
        server->setExpanded(true);
        QTRY_COMPARE(form.Network().Pending(), 0);
        QCOMPARE(ask.asked.size(), size_t{2});
        QCOMPARE(server->childCount(), 3);

        // A host that does not answer: the window goes on working and the host has no shares.
        QTreeWidgetItem* dead = root->child(1);
        dead->setExpanded(true);
        QCOMPARE(form.Network().Pending(), 1);
        QVERIFY(form.isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(form.Network().Pending(), 0, 20000);
        QCOMPARE(Texts(dead), QStringList({"-"}));
        QVERIFY(!dead->isExpanded());
    }

    // OK on a share that is not mounted hands the job its address and the login the user gave,
    // once the server took it; no mount is made.
    void OkGivesTheShareByItsAddressWithTheLoginAsked() {
        if (!smb::Available() || port_.empty())
            QSKIP("needs libsmbclient, root and smbd");
        const std::string host = "127.0.0.1:" + port_;
        ::setenv("REDODORI_TEST_HOSTS", (host + "|0|on|||\n").c_str(), 1);
        test::PrivateEnvironment env;
        Store store(env.Dir() / "registry.db");
        TForm1 form(store, false);
        QSignalSpy confirmed{&form, &TForm1::confirmed};
        auto* tree = form.findChild<QTreeWidget*>("TreeView1");
        AskDouble ask;
        ask.answers = {smb::Credentials{"nobody", "right-pw"}};
        form.Network().askCredentials = std::ref(ask);
        form.Network().timeoutMs = 3000;
        form.show();
        QTreeWidgetItem* root = NetworkRoot(tree);
        QVERIFY(root);
        root->setExpanded(true);
        QTRY_COMPARE(form.Network().Pending(), 0);
        QTreeWidgetItem* server = root->child(0);
        server->setExpanded(true);
        QTRY_COMPARE(form.Network().Pending(), 0);
        QCOMPARE(ask.asked.size(), size_t{1});
        tree->clearSelection();
        server->child(2)->setSelected(true);
        form.BitBtn1Click();
        // The login is checked off the window's thread: the chooser waits open for it.
        QVERIFY(form.isVisible());
        QCOMPARE(confirmed.size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(confirmed.size(), 1, 10000);
        QCOMPARE(confirmed[0][0].value<std::string>(), "smb://" + host + "/rw/?");
        const auto logins = confirmed[0][1].value<std::map<std::string, smb::Credentials>>();
        QCOMPARE(logins.size(), size_t{1});
        QCOMPARE(logins.begin()->first, host);
        QCOMPARE(logins.begin()->second.user, std::string("nobody"));
        QCOMPARE(logins.begin()->second.password, std::string("right-pw"));
        QVERIFY(!form.isVisible());
    }

    // A network where nothing is found says so, and how to reach a share all the same; the
    // note is no destination.
    void AnEmptyNetworkSaysHowToAddAShare() {
        ::setenv("REDODORI_TEST_HOSTS", "", 1);
        test::PrivateEnvironment env;
        Store store(env.Dir() / "registry.db");
        TForm1 form(store, false);
        auto* tree = form.findChild<QTreeWidget*>("TreeView1");
        form.show();
        QTreeWidgetItem* root = NetworkRoot(tree);
        QVERIFY(root);
        root->setExpanded(true);
        QTRY_COMPARE(form.Network().Pending(), 0);
        QCOMPARE(Texts(root), QStringList({"No shares found; type one as smb://host/share below"}));
        QVERIFY(root->isExpanded());
        QVERIFY(!(root->child(0)->flags() & Qt::ItemIsSelectable));
        ::unsetenv("REDODORI_TEST_HOSTS");
    }

    // Without a network view, a server that announces itself by DNS-SD is listed by its name
    // and reached at its address and port.
    void AnnouncedHostReachedAtItsAddress() {
        if (!smb::Available() || !dnssd::Available() || port_.empty())
            QSKIP("needs libsmbclient, Avahi, root and smbd");
        const std::string daemon = std::string(REDODORI_TEST_SUPPORT_DIR) + "/avahi_daemon.sh";
        test::TempDir avahi;
        int status = -1;
        QString bus = QString::fromStdString(
                          test::RunCommand(daemon + " start '" + avahi.Path() + "'", &status))
                          .trimmed();
        if (status == 77)
            QSKIP("no Avahi daemon of the tests' own here");
        QCOMPARE(status, 0);
        struct Stop {
            std::string command;
            ~Stop() { test::RunCommand(command); }
        } stop{daemon + " stop '" + avahi.Path() + "'"};
        test::RunCommand(daemon + " publish '" + avahi.Path() + "' 'Büro-NAS' " + port_, &status);
        QCOMPARE(status, 0);
        ::unsetenv("REDODORI_TEST_HOSTS");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.toUtf8());

        test::PrivateEnvironment env;
        Store store(env.Dir() / "registry.db");
        TForm1 form(store, false);
        auto* tree = form.findChild<QTreeWidget*>("TreeView1");
        AskDouble ask;
        ask.answers = {smb::Credentials{"nobody", "right-pw"}};
        form.Network().askCredentials = std::ref(ask);
        form.Network().timeoutMs = 3000;
        form.show();
        QTreeWidgetItem* root = NetworkRoot(tree);
        QVERIFY(root);
        root->setExpanded(true);
        QTRY_COMPARE_WITH_TIMEOUT(form.Network().Pending(), 0, 10000);
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        // SMB browsing may find other servers on a real network; the announced one is there.
        const int at = static_cast<int>(Texts(root).indexOf("Büro-NAS"));
        QVERIFY2(at >= 0, qPrintable(Texts(root).join(", ")));
        QTreeWidgetItem* server = root->child(at);
        server->setExpanded(true);
        QTRY_COMPARE(form.Network().Pending(), 0);
        QCOMPARE(Shares(server), QStringList({"Fotos-äß", "ro", "rw  (Writable share)"}));
        tree->clearSelection();
        server->child(2)->setSelected(true);
        QCOMPARE(form.findChild<QComboBox*>("ComboBox1")->currentText(),
                 QString::fromStdString("smb://127.0.0.1:" + port_ + "/rw/"));
    }
};

}  // namespace rd

QTEST_MAIN(rd::ChooserNetworkTest)
#include "chooser_network_test.moc"
