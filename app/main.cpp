// velkorin: the desktop program. Start-up in its fixed order: the single-instance guard, the
// Windows family, the settings root, port discovery, then the configuration window for the
// whole run.
#include <QApplication>
#include <QCommandLineParser>

#include <iostream>
#include <memory>
#include <string>

#include "app/startup.h"
#include "ports/port_list.h"
#include "serial/serial_link.h"
#include "settings/profile_store.h"
#include "ui/config_dialog.h"
#include "ui/termination_signals.h"

int main(int argc, char* argv[]) {
  // A second copy ends here, silently, before it opens a display or touches the settings.
  velkorin::SingleInstanceGuard guard;
  if (!guard.IsFirstInstance())
    return 0;
  velkorin::HoldTerminationSignals();

  QApplication app(argc, argv);
  const std::string applicationName = velkorin::CurrentApplicationName(argv[0]);
  // The name titles every message box and names the settings file.
  QApplication::setApplicationName(QString::fromStdString(applicationName));
  QApplication::setApplicationVersion(QStringLiteral(VELKORIN_VERSION));

  QCommandLineParser options;
  options.setApplicationDescription(
      QStringLiteral("Reads and writes the configuration of an RS485 to MODBUS-RTU TCP/IP client "
                     "gateway over a serial port."));
  options.addHelpOption();
  options.addVersionOption();
  const QCommandLineOption portOption(
      QStringLiteral("port"),
      QStringLiteral("Offer PATH in the port list too (a pseudo-terminal, a /dev/serial/by-id "
                     "link). May be given more than once."),
      QStringLiteral("PATH"));
  options.addOption(portOption);
  options.process(app);

  const int osFamily = velkorin::DetectOsFamily();
  const std::unique_ptr<velkorin::ProfileStore> store =
      velkorin::OpenUserProfileStore(applicationName);

  velkorin::PortNameList ports = velkorin::BuildPortNameList(osFamily);
  if (!ports.failure.empty())
    std::cerr << applicationName << ": " << ports.failure << '\n';
  for (const QString& path : options.values(portOption)) {
    const std::string name = path.toStdString();
    ports.names.push_back(name);
    ports.ports.push_back({name, name, name});
  }

  {
    velkorin::ConfigDialog dialog(*store, ports.names, std::make_unique<velkorin::SerialLink>());
    velkorin::CloseOnTerminationSignals(dialog);
    dialog.exec();
    // The window has saved the settings on its way out; the dialog goes here, before the rest.
  }

  ports.names.clear();
  ports.ports.clear();
  return 0;
}
