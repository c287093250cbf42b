#include "platform/message_table.h"

#include "platform/ini_file.h"

namespace rd {

bool MessageTable::Load(const std::string& path) {
    IniFile file;
    if (!file.Read(path))
        return false;
    Fill(file);
    return true;
}

void MessageTable::Fill(const IniFile& file, const Texts* fallback) {
    std::array<std::string, kSlots + 1> slots;
    for (int n = 1; n <= kSlots; ++n) {
        if (const auto value = file.Value("In code", "v" + std::to_string(n)))
            slots[n] = *value;
        else if (fallback)
            slots[n] = (*fallback)[n];
    }
    std::lock_guard<std::mutex> guard(lock_);
    slots_.swap(slots);
    filled_ = true;
}

bool MessageTable::Filled() const {
    std::lock_guard<std::mutex> guard(lock_);
    return filled_;
}

void MessageTable::SetFacts(LanguageFacts facts) {
    std::lock_guard<std::mutex> guard(lock_);
    facts_ = std::move(facts);
}

LanguageFacts MessageTable::Facts() const {
    std::lock_guard<std::mutex> guard(lock_);
    return facts_;
}

std::string MessageTable::Text(int n) const {
    if (n < 1 || n > kSlots)
        return {};
    std::lock_guard<std::mutex> guard(lock_);
    return slots_[n];
}

}  // namespace rd
