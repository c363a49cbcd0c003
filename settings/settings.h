#pragma once

#include <string>

#include "protocol/gateway_settings.h"
#include "settings/profile_store.h"

namespace velkorin {

inline constexpr char kSettingsSection[] = "Tessamor";
// The port name when none is stored.
inline constexpr char kDefaultPortName[] = "COM1";

// Fills the record and the chosen port name from the store, with the defaults where nothing is
// stored, each number cut to its field's width and a parity of 3 or more clamped to 2.
void LoadSettings(ProfileStore& store, std::string& portName, GatewaySettings& settings);

// Writes the port name and the whole record, then commits the store.
void SaveSettings(ProfileStore& store, const std::string& portName,
                  const GatewaySettings& settings);

// The record as it stands when nothing is stored (MAC all zero).
GatewaySettings DefaultSettings();

}  // namespace velkorin
