#include "ui/chooser/network_branch.h"

#include <QFutureWatcher>
#include <QPersistentModelIndex>
#include <QTreeWidget>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <future>

#include "app/chooser_model.h"
#include "app/network_places.h"
#include "platform/dns_sd.h"
#include "platform/network_view.h"
#include "ui/chooser/chooser_images.h"
#include "ui/chooser/chooser_nodes.h"
#include "ui/chooser/credentials_dialog.h"

namespace rd {

using namespace chooser_node;

namespace {

// The names from the network root's child down to `item`: host, share, folders.
std::vector<std::string> NamesBelowRoot(const QTreeWidgetItem* item) {
    std::vector<std::string> names;
    for (; item->parent(); item = item->parent())
        names.push_back(item->data(0, kNameRole).toByteArray().toStdString());
    std::reverse(names.begin(), names.end());
    return names;
}

}  // namespace

NetworkBranch::NetworkBranch(QTreeWidget* tree) : QObject(tree), tree_(tree) {
    askCredentials = [this, tree](const std::string& host, bool refused) {
        return AskCredentials(tree->window(), host, refused, credentialsTexts);
    };
}

bool NetworkBranch::Available() {
    return smb::Available() || dnssd::Available() || netview::Usable();
}

smb::Credentials NetworkBranch::CredentialsFor(const std::string& host) const {
    if (const auto given = given_.find(host); given != given_.end())
        return given->second;
    smb::Credentials credentials;
    netview::Credentials(host, credentials.user, credentials.password);
    return credentials;
}

void NetworkBranch::Fill(QTreeWidgetItem* item) {
    const std::vector<std::string> names = NamesBelowRoot(item);
    const int timeout = timeoutMs;
    if (names.empty()) {
        Run(item, [timeout] {
            Answer answer;
            if (netview::Usable()) {
                for (const HostEntry& host : ListedHosts(netview::Hosts()))
                    answer.children.push_back({host.name, host.text});
                return answer;
            }
            // Both kinds of browsing wait for answers: they wait side by side.
            std::vector<dnssd::Server> announced;
            auto announcing = std::async(std::launch::async, [timeout, &announced] {
                return dnssd::BrowseSmb(timeout, announced);
            });
            std::vector<smb::Entry> browsed;
            answer.result = smb::Servers(timeout, browsed);
            if (announcing.get() == dnssd::Result::Ok && answer.result == smb::Result::NotAvailable)
                answer.result = smb::Result::Ok;
            for (const HostEntry& host : NetworkHosts(browsed, announced))
                answer.children.push_back({host.name, host.text});
            return answer;
        });
        return;
    }
    const std::string host = names[0];
    const smb::Credentials credentials = CredentialsFor(host);
    if (names.size() == 1) {
        Run(item, [host, credentials, timeout] {
            Answer answer;
            std::vector<smb::Entry> shares;
            answer.result = smb::Shares(host, credentials, timeout, shares);
            for (const smb::Entry& share : shares) {
                const bool writable =
                    smb::WriteTest(host, share.name, credentials, timeout) == smb::Result::Ok;
                const auto free = smb::FreeSpace(host, share.name, credentials, timeout);
                answer.children.push_back({share.name, ShareText(share.name, share.comment),
                                           writable ? 1 : 0, free.value_or(kUnknownFree)});
            }
            return answer;
        });
        return;
    }
    std::string folder;
    for (size_t i = 2; i < names.size(); ++i)
        folder += names[i] + "/";
    const int writable = item->data(0, kWritableRole).toInt();
    const std::string share = names[1];
    Run(item, [host, share, folder, credentials, timeout, writable] {
        Answer answer;
        std::vector<smb::Entry> folders;
        answer.result = smb::Folders(host, share, folder, credentials, timeout, folders);
        for (const smb::Entry& entry : folders)
            answer.children.push_back({entry.name, entry.name, writable});
        return answer;
    });
}

void NetworkBranch::Run(QTreeWidgetItem* item, std::function<Answer()> work) {
    ++pending_;
    const QPersistentModelIndex index(tree_->indexFromItem(item));
    auto* watcher = new QFutureWatcher<Answer>(this);
    connect(watcher, &QFutureWatcher<Answer>::finished, this, [this, watcher, index] {
        --pending_;
        watcher->deleteLater();
        // The item may have gone meanwhile (its parent listed again, the chooser rebuilt).
        if (QTreeWidgetItem* item = index.isValid() ? tree_->itemFromIndex(index) : nullptr)
            Apply(item, watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

void NetworkBranch::Apply(QTreeWidgetItem* item, const Answer& answer) {
    const std::vector<std::string> names = NamesBelowRoot(item);
    if (answer.result == smb::Result::AccessDenied && names.size() == 1) {
        const std::string& host = names[0];
        const bool refused = askedFor_.count(host) > 0;
        if (const auto credentials = askCredentials(host, refused)) {
            askedFor_.insert(host);
            given_[host] = *credentials;
            Fill(item);
            return;
        }
    }
    qDeleteAll(item->takeChildren());
    std::vector<Child> children = answer.children;
    std::sort(children.begin(), children.end(),
              [](const Child& a, const Child& b) { return a.text < b.text; });
    const int depth = static_cast<int>(names.size()) + 1;
    // A share is the volume of its folders: it shows the free space they have.
    const bool shares = names.size() == 1;
    for (const Child& child : children) {
        const std::string text =
            shares ? ShareFreeText(child.text, child.freeBytes, freeText.toStdString(),
                                   unknownText.toStdString())
                   : child.text;
        auto* node = new QTreeWidgetItem(item, QStringList(QString::fromStdString(text)));
        node->setData(0, kNameRole, QByteArray::fromStdString(child.name));
        node->setData(0, kKindRole, kNetwork);
        node->setData(0, kWritableRole, child.writable);
        node->setData(0, kFreeRole, QVariant::fromValue<qulonglong>(child.freeBytes));
        node->setIcon(0, ChooserImage(FolderImage(kNetwork, depth)));
        node->setFlags(node->flags() & ~Qt::ItemIsEditable);
        new QTreeWidgetItem(node, QStringList(kPlaceholder));
    }
    if (children.empty()) {
        // A network where browsing found nothing, or a host that answered with no share, says
        // so and how to go on.
        const bool note =
            answer.result != smb::Result::NotAvailable &&
            (names.empty() || (names.size() == 1 && answer.result == smb::Result::Ok));
        const QString text = answer.result == smb::Result::NotAvailable ? notAvailableText
                             : note                                     ? noSharesText
                                                                        : kPlaceholder;
        auto* child = new QTreeWidgetItem(item, QStringList(text));
        if (note)
            child->setFlags(Qt::ItemIsEnabled);
        else if (answer.result != smb::Result::NotAvailable)
            item->setExpanded(false);
    }
    emit filled(item);
}

}  // namespace rd
