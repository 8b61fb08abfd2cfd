// `qwbdcawm info [--json]` and `qwbdcawm info --devinf`: what the phone is and what it can
// hold. The metadata table's device information document names the manufacturer, the model
// and every store's capacity and field limits; the model type comes from WMModelProfile.xml,
// the memory and cards from the file table, the SIM's use from the SIM table.
//
// DeviceInfo() builds the whole answer as one JSON object; the text form prints that object.
// Sections other tables or calls provide are added there, each as a key of its own.
#pragma once

#include <iosfwd>
#include <string>

#include <nlohmann/json.hpp>

#include "host/Session.h"

namespace qwbhost {

// The device information document, as the metadata table answers "DevInf".
std::string DevInfDocument(Session& session);

// What the document says, as JSON: manufacturer, model and per store (by its SourceRef)
// "capacity" (MaxMem; -1 no limit) and per property "type" and the limits it gives
// ("maxSize", "maxValue", "minValue", "maxOccur", "maxCntTelNum", ...) and "values"
// (ValEnum). Throws HostError when the text is not a device information document.
nlohmann::json DevInfJson(const std::string& document);

// The model type number of a model type name ("olDomestic" 0 ... "olInternational_SP" 6);
// -1 for an unknown name.
int ModelTypeNumber(const std::string& name);

// The SIM card's use and capacity: "used" (the SIM table's count), "total" (the device
// information's SIM_PHONEBOOK capacity), "maxNameLength", "maxNumberLength" and
// "maxEmailLength" (its DISPLAY_NAME, TEL_NUM and EMAIL_ADDR MaxSize); each null where the
// phone does not say. `devinf` is DevInfJson's answer; without it the phone's document is
// read, and one that cannot be read leaves the capacities null. `countResult` takes the
// count's HRESULT ("used" is null when it failed).
nlohmann::json SimCapacity(Session& session, const nlohmann::json* devinf = nullptr,
                           HRESULT* countResult = nullptr);

// Keys: model, modelType, modelTypeNumber, manufacturer, memory[], sim{}, mmsMaxSize,
// limits{} (DevInfJson's stores).
nlohmann::json DeviceInfo(Session& session);

void PrintInfo(const nlohmann::json& info, bool json, std::ostream& out);

}  // namespace qwbhost
