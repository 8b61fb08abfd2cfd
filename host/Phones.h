// The phones that dialled qwbdcawm-connectd, as the CLI sees them: listing them, unlocking a
// WM5 phone with its password, and picking the phone a command talks to.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace qwbhost {

// The manager's list of phones; nullopt when no manager answers (*why says so).
std::optional<nlohmann::json> ConnectedPhones(std::string* why);

// `qwbdcawm devices`: a table, or JSON with every field the manager gives plus the model
// type from WMModelProfile.xml. No manager is a failure (HostError).
void ListPhones(bool json, std::ostream& out);

// The model type WMModelProfile.xml (ModelProfilePath()) gives a model name, "" when the
// model is not in it.
std::string ProfileModelType(const std::string& model);

// The device name in "phone:NAME", or nullopt for another kind of address.
std::optional<std::string> PhoneName(const std::string& address);

// Reads a password: from the terminal without echo when stdin is one, else one line of
// stdin (its newline removed).
std::string ReadPassword(const std::string& prompt);

// `qwbdcawm unlock`: gives the password to the phone named by `address` ("phone:NAME"), or
// to the only phone when address is empty.
void UnlockPhone(const std::string& address, const std::string& password);

// The address a command uses when neither --device nor QWBDCAWM_DEVICE names one:
// "phone:NAME" for the single connected phone (said on stderr), nullopt when no manager or
// no phone is there (*why says which), a usage error when several are connected.
std::optional<std::string> OnlyConnectedPhone(std::string* why);

}  // namespace qwbhost
