#pragma once

namespace velkorin {

class ConfigDialog;

// SIGTERM, SIGINT and SIGHUP close the window the ordinary way, so the settings are saved as on
// any other way out, instead of ending the process where it stands.
void CloseOnTerminationSignals(ConfigDialog& window);

// Keeps those signals pending from the start of the program until CloseOnTerminationSignals has
// a window to close, so that one that comes during start-up still ends with the settings saved.
// Call it before any thread is started, so every thread inherits it.
void HoldTerminationSignals();

}  // namespace velkorin
