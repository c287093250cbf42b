// The pop-up of one record being resumed: it shows the record's source folder and the wait,
// tries every 500 ms whether the folder is reachable (one attempt at a time, on a thread of its
// own), and goes once the job was started or the user cancelled it.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "resume/resume_item.h"

class QLabel;
class QPushButton;
class QTimer;

namespace rd {

class Language;

class TFormResItem : public QWidget {
    Q_OBJECT

public:
    TFormResItem(int32_t n, ResumeItem::Attempt attempt, QWidget* parent = nullptr);
    // Waits for a running attempt; removes the lists left to it (ForgetLists) when no job took
    // them.
    ~TFormResItem() override;

    int32_t N() const { return n_; }
    const ResumeItem& Item() const { return *item_; }

    // The captions of the "ResItem" section, and its texts of the status line.
    void ApplyLanguage(const Language& language);

    // Shows the pop-up with the record's From text and makes the first tick.
    void Start(const std::string& from);
    void Timer1Timer();
    // Cancel: no further attempt; the pop-up goes once a running one has ended.
    void BitBtn1Click();
    // The record was deleted while this pop-up resumes it: its list files go with the pop-up,
    // unless the pop-up started the job that reads them.
    void ForgetLists(std::vector<std::string> paths) { forgottenLists_ = std::move(paths); }

private:
    void Show(const ResumeItem::View& view);

    int32_t n_;
    std::unique_ptr<ResumeItem> item_;
    QLabel* label2_ = nullptr;
    QLabel* label3_ = nullptr;
    QPushButton* bitBtn1_ = nullptr;
    QTimer* timer1_ = nullptr;
    std::vector<std::string> forgottenLists_;
    // The status line's texts: "%s" is the seconds waited, or the reason.
    QString waiting_ = "Waiting accessibility (%s)...";
    QString canceling_ = "Canceling...";
    QString problem_ = "Cannot resume: %s";
};

}  // namespace rd
