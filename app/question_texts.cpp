#include "app/question_texts.h"

#include <sys/statvfs.h>

#include "engine/prompts.h"
#include "platform/human_units.h"
#include "platform/message_table.h"
#include "platform/message_texts.h"
#include "platform/path_parts.h"
#include "platform/text.h"

namespace rd {

namespace {

long long Signed(uint64_t value) {
    return static_cast<long long>(value);
}

// "<message> <errno text>\r\n<File:> <path>\r\n<Position:> <n>\r\n".
std::string FailedAt(const MessageTable& texts, int caption, int error, const std::string& path,
                     const ErrorFacts& facts) {
    return texts.Text(caption) + " " + ErrorText(error, texts.Facts().locale) + "\r\n" +
           text::Format("%s %s\r\n", texts.Text(8).c_str(), path.c_str()) +
           text::Format("%s %Li\r\n", texts.Text(9).c_str(), Signed(facts.position));
}

std::string FindingLine(const NameFinding& f, const MessageTable& texts) {
    const std::string& at = f.destination;
    switch (f.problem) {
        case NameProblem::Refused:
            return FillIn(MessageText(texts, text_slot::kNamesRefused), {at, f.renamed});
        case NameProblem::FoldsTogether:
            return FillIn(MessageText(texts, text_slot::kNamesFoldTogether),
                          {at, f.other, f.renamed});
        case NameProblem::TooLarge:
            return FillIn(MessageText(texts, text_slot::kNamesTooLarge),
                          {at, HumanBytes(f.size), HumanBytes(f.limit)});
        case NameProblem::NoLinks:
            return FillIn(MessageText(texts, text_slot::kNamesNoLinks), {at});
        case NameProblem::NoRoom:
            return FillIn(MessageText(texts, text_slot::kNamesNoRoom),
                          {at, HumanBytes(f.size), HumanBytes(f.limit)});
    }
    return at;
}

}  // namespace

std::string ErrorQuestionText(const ErrorFacts& facts, const MessageTable& texts) {
    const std::string locale = texts.Facts().locale;
    switch (facts.step) {
        case ErrorStep::OpenSource:
            return texts.Text(7) + " " + ErrorText(facts.error, locale) +
                   text::Format("\r\n %s\r\n", facts.path.c_str());
        case ErrorStep::Read: return FailedAt(texts, 7, facts.error, NamePart(facts.path), facts);
        case ErrorStep::ReadVerify:
            return std::string("Read CRC verify error. \r\n") +
                   text::Format("File: %s\r\n", facts.path.c_str()) +
                   text::Format("Position: %Li\r\n", Signed(facts.position)) +
                   text::Format("\r\nBlocksize: %u\r\n", facts.blockSize);
        case ErrorStep::Write: {
            // A file that has no folder to go into: the question is about the folder.
            const std::string& about = facts.folder.empty() ? facts.path : facts.folder + "/";
            std::string message = FailedAt(texts, 12, facts.error, about, facts);
            if (facts.freeBytes >= 0)
                message += text::Format("%s %Li bytes\r\n", texts.Text(13).c_str(),
                                        static_cast<long long>(facts.freeBytes));
            return message;
        }
        case ErrorStep::WriteVerify:
            return std::string("Write CRC verify error.\r\n") +
                   text::Format("File: %s\r\n", facts.path.c_str()) +
                   text::Format("Position: %Li\r\n", Signed(facts.position)) +
                   text::Format("Blocksize: %u", facts.blockSize);
        case ErrorStep::Sync:
            return texts.Text(12) + " " + ErrorText(facts.error, locale) + "\r\n" +
                   text::Format("%s %s\r\n", texts.Text(8).c_str(), facts.path.c_str());
        case ErrorStep::Link:
            return texts.Text(15) + " " + ErrorText(facts.error, locale) + "\r\n" +
                   text::Format("%s %s\r\n", texts.Text(3).c_str(), facts.path.c_str()) +
                   text::Format("%s %s\r\n", texts.Text(5).c_str(), facts.destination.c_str());
    }
    return ErrorText(facts.error, locale);
}

uintptr_t ErrorQuestionFlags(const ErrorFacts& facts) {
    return (WriterSide(facts.step) ? promptflag::kAbortReturns : 0) |
           (HealAllowed(facts.step) ? promptflag::kHealAllowed : 0);
}

std::string ExistsQuestionText(const ExistsFacts& facts, const MessageTable& texts) {
    std::string message =
        texts.Text(3) + text::Format(" %s\r\n", facts.source.c_str()) +
        text::Format("%s %Li\r\n\r\n", texts.Text(4).c_str(), Signed(facts.sourceSize)) +
        text::Format("%s %s\r\n", texts.Text(5).c_str(), facts.destination.c_str()) +
        text::Format("%s %Li\r\n", texts.Text(6).c_str(), Signed(facts.destinationSize));
    if (!facts.resumable) {
        if (facts.destinations > 1)
            message += "\r\n" + texts.Text(1);
        else if (facts.sourceSize >= facts.destinationSize)
            message += "\r\n" + texts.Text(2);
    }
    return message;
}

uintptr_t ExistsQuestionFlags(const ExistsFacts& facts) {
    return (facts.resumable ? promptflag::kResumePossible : 0) |
           (facts.markerResume ? 0 : promptflag::kRenamePossible);
}

std::string NamesQuestionText(const NamesFacts& facts, const MessageTable& texts) {
    std::string out = MessageText(texts, text_slot::kNamesHead);
    for (const NameFinding& finding : facts.findings)
        out += "\r\n" + text::EscapeAsOneLine(FindingLine(finding, texts));
    if (facts.total > facts.findings.size())
        out += "\r\n" + FillIn(MessageText(texts, text_slot::kNamesMore),
                               {std::to_string(facts.total - facts.findings.size())});
    return out;
}

}  // namespace rd
