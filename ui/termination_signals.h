#pragma once

namespace velkorin {

class ConfigDialog;

// SIGTERM, SIGINT and SIGHUP close the window the ordinary way, so the settings are saved as on
// any other way out, instead of ending the process where it stands.
void CloseOnTerminationSignals(ConfigDialog& window);

}  // namespace velkorin
