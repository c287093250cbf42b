// Switching the computer off when a job asks for it at its end.
#pragma once

namespace rd {

// Asks logind to power the computer off, without an authentication dialog. With
// REDODORI_FAKE_POWEROFF set, writes "poweroff\n" to the file it names and does nothing else,
// so that tests and trial runs never switch the machine off. Returns whether the request was
// accepted; a failure is not reported otherwise.
bool PowerOff();

}  // namespace rd
