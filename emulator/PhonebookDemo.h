// The demo phone's address book: a few hundred contacts generated deterministically (the same
// image on every machine), with every telephone kind, addresses, e-mails, birthdays and
// anniversaries, categories, speed dials, Korean names with their readings and a few contacts
// that test a host's edges (no name, only a number, a very long note, every telephone).
#pragma once

#include "emulator/Image.h"

namespace wmemu {

inline constexpr int kDemoContacts = 320;

void BuildDemoPhonebook(Image& image);

}  // namespace wmemu
