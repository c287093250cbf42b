#include "platform/system_error_text.h"

#include <locale.h>
#include <string.h>

namespace rd {

std::string SystemErrorText(int error, const std::string& locale) {
    // The messages' category picks the catalogue, the character type its encoding; the
    // process's own locale is left alone, so other threads keep theirs.
    locale_t chosen = locale.empty()
                          ? nullptr
                          : newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, locale.c_str(), nullptr);
    if (!chosen)
        chosen = newlocale(LC_ALL_MASK, "C", nullptr);
    if (!chosen)
        return strerrordesc_np(error) ? strerrordesc_np(error) : "";
    std::string text = strerror_l(error, chosen);
    freelocale(chosen);
    return text;
}

}  // namespace rd
