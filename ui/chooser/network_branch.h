// The chooser's network branch: the hosts under the network root, a host's shares and the
// folders of a share, each listed on a worker thread so that a host that does not answer never
// freezes the window; a host that wants credentials gets them from the network view, from what
// the user gave this session, or by asking the user.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/chooser_model.h"
#include "platform/smb_client.h"
#include "ui/chooser/credentials_dialog.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace rd {

class NetworkBranch : public QObject {
    Q_OBJECT

public:
    explicit NetworkBranch(QTreeWidget* tree);

    // Asks the user for the credentials of `host`; `refused` when the last ones were turned
    // down. The chooser's dialog unless set otherwise.
    std::function<std::optional<smb::Credentials>(const std::string& host, bool refused)>
        askCredentials;
    int timeoutMs = 5000;
    // The texts of the credentials dialog, and the branch's text in a build without a network.
    CredentialsTexts credentialsTexts;
    QString notAvailableText = "Network places are not available in this build";
    // The note of a network or host where nothing was found, and the words of a share's free
    // space ("~12 gb free", "~unknown free").
    QString noSharesText = "No shares found; type one as smb://host/share below";
    QString freeText = "free";
    QString unknownText = "unknown";

    // False when the program can reach no network (built without libsmbclient and no view).
    static bool Available();

    // Lists the children of `item`: the network root, a host, or a share or folder below it.
    // They replace the item's children when the network answers.
    void Fill(QTreeWidgetItem* item);

    // The credentials for `host`: those the user gave this session, else the network view's,
    // else none (a guest).
    smb::Credentials CredentialsFor(const std::string& host) const;

    // Lists under way.
    int Pending() const { return pending_; }

signals:
    // The children of `item` are in place (or the item has none).
    void filled(QTreeWidgetItem* item);

private:
    struct Child {
        std::string name;
        std::string text;
        int writable = -1;
        uint64_t freeBytes = kUnknownFree;  // shares: the free space the server tells
    };
    struct Answer {
        smb::Result result = smb::Result::Ok;
        std::vector<Child> children;
    };
    void Run(QTreeWidgetItem* item, std::function<Answer()> work);
    void Apply(QTreeWidgetItem* item, const Answer& answer);

    QTreeWidget* tree_;
    std::map<std::string, smb::Credentials> given_;
    std::set<std::string> askedFor_;
    int pending_ = 0;
};

}  // namespace rd
