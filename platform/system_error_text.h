// The C library's text for a system error number in a language's locale.
#pragma once

#include <string>

namespace rd {

// The text of `error` from the C library's translations for `locale` ("de_DE.UTF-8"): in
// English when `locale` is empty or not installed, or when the library has no translation.
std::string SystemErrorText(int error, const std::string& locale);

}  // namespace rd
