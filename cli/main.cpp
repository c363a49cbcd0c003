// velkorin-cli: the read and write exchanges for scripts and for people at a terminal.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>
#include <string>

#include "app/startup.h"
#include "cli/cli_values.h"
#include "cli/console.h"
#include "ports/port_list.h"
#include "protocol/exchange.h"
#include "serial/serial_link.h"

namespace velkorin::cli {
namespace {

// Prints the exchange's message as the window would show it; values are printed at the end.
class ConsoleView : public ExchangeView {
 public:
  void ShowMac(const GatewaySettings&) override {}
  void ShowNetwork(const GatewaySettings&) override {}
  void ShowSerial(const GatewaySettings&) override {}
  void ShowMessage(std::string_view text, MessageIcon) override {
    std::cerr << text << '\n' << std::flush;
  }
};

std::string Printable(std::string_view bytes) {
  while (!bytes.empty() && bytes.back() == '\0')
    bytes.remove_suffix(1);
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\r') {
      out += "\\r";
    } else if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

int ExitCodeOf(ExchangeOutcome outcome) {
  switch (outcome) {
    case ExchangeOutcome::Done:
      return kExitDone;
    case ExchangeOutcome::OpenFailed:
      return kExitOpenFailed;
    case ExchangeOutcome::SendFailed:
      return kExitSendFailed;
    case ExchangeOutcome::ReceiveFailed:
      return kExitReceiveFailed;
    case ExchangeOutcome::BadData:
      return kExitBadChecksum;
  }
  return kExitReceiveFailed;
}

// One line that tells a person what went wrong and where.
std::string Detail(const ExchangeResult& r, const std::string& port) {
  std::string d;
  const std::string command = std::string(":") + r.command;
  const std::string reply = Printable(r.reply);
  switch (r.outcome) {
    case ExchangeOutcome::OpenFailed:
      d = "could not open port \"" + port + "\"";
      break;
    case ExchangeOutcome::SendFailed:
      d = command + ": the command could not be sent";
      break;
    case ExchangeOutcome::ReceiveFailed:
      d = command + (reply.empty() ? ": no reply within the time limit"
                                   : ": incomplete or malformed reply \"" + reply + "\"");
      break;
    case ExchangeOutcome::BadData:
      d = command + ": checksum mismatch in reply \"" + reply + "\"";
      break;
    case ExchangeOutcome::Done:
      break;
  }
  if (r.linkError.code != 0 || !r.linkError.text.empty()) {
    d += " (" + r.linkError.text;
    if (r.linkError.code != 0)
      d += ", error " + std::to_string(r.linkError.code);
    d += ")";
  }
  if (r.linkError.permissionDenied) {
    d += "; add your user to the 'dialout' group (sudo usermod -aG dialout \"$USER\") and log in "
         "again";
  }
  return d;
}

int ReportFailure(const ExchangeResult& r, const std::string& port, bool json) {
  const std::string detail = Detail(r, port);
  std::cerr << "detail: " << detail << '\n';
  if (json) {
    nlohmann::ordered_json j = {{"error", ExitCodeOf(r.outcome)},
                                {"message", std::string(FailureMessage(r.outcome))},
                                {"command", nullptr},
                                {"detail", detail}};
    if (r.command != 0)
      j["command"] = std::string(":") + r.command;
    std::cout << j.dump() << '\n';
  }
  return ExitCodeOf(r.outcome);
}

void PrintSettings(const GatewaySettings& s, bool json) {
  if (json) {
    std::cout << SettingsJson(s) << '\n';
    return;
  }
  for (const std::string& line : SettingsLines(s))
    std::cout << line << '\n';
}

int UsageError(const std::string& message, bool json) {
  std::cerr << "velkorin-cli: " << message << '\n';
  if (json) {
    std::cout << nlohmann::ordered_json{{"error", kExitUsage},
                                        {"message", message},
                                        {"command", nullptr}}
                     .dump()
              << '\n';
  }
  return kExitUsage;
}

int RunRead(const std::string& port, bool json) {
  SerialLink link;
  ConsoleView view;
  GatewaySettings settings;
  const ExchangeResult r = RunReadExchange(link, port, settings, view);
  if (r.outcome != ExchangeOutcome::Done)
    return ReportFailure(r, port, json);
  PrintSettings(settings, json);
  return kExitDone;
}

int RunWrite(const std::string& port, const WriteValues& values, bool json) {
  if (values.Empty())
    return UsageError("write: give at least one value to change", json);
  GatewaySettings probe;
  if (auto refusal = ApplyWriteValues(values, probe))
    return UsageError(*refusal, json);

  SerialLink link;
  ConsoleView view;
  // The gateway's current values first, so that what isn't given stays as the gateway has it.
  GatewaySettings settings;
  const auto current = ReadExchangeSteps().subspan(1);  // ":P", ":Q"
  ExchangeResult r = RunExchangeSteps(link, port, settings, view, current, {});
  if (r.outcome != ExchangeOutcome::Done)
    return ReportFailure(r, port, json);

  ApplyWriteValues(values, settings);
  const GatewaySettings sent = settings;
  r = RunWriteExchange(link, port, settings, view);
  if (r.outcome != ExchangeOutcome::Done)
    return ReportFailure(r, port, json);
  PrintSettings(settings, json);
  if (!SameWrittenFields(sent, settings)) {
    std::cerr << "velkorin-cli: the gateway echoed values that differ from those sent\n";
    return kExitEchoDiffers;
  }
  return kExitDone;
}

int RunPorts(bool json) {
  const PortNameList list = BuildPortNameList(DetectOsFamily());
  if (!list.failure.empty())
    std::cerr << "velkorin-cli: port discovery: " << list.failure << '\n';
  if (json) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < list.names.size(); ++i) {
      array.push_back({{"name", list.names[i]},
                       {"devicePath", list.ports[i].devicePath},
                       {"friendlyName", list.ports[i].friendlyName}});
    }
    std::cout << array.dump() << '\n';
    return kExitDone;
  }
  for (std::size_t i = 0; i < list.names.size(); ++i) {
    std::cout << list.names[i];
    if (!list.ports[i].devicePath.empty())
      std::cout << '\t' << list.ports[i].devicePath;
    if (!list.ports[i].friendlyName.empty())
      std::cout << '\t' << list.ports[i].friendlyName;
    std::cout << '\n';
  }
  return kExitDone;
}

// A whole decimal number, or nothing: "12abc", "" and "+5" are refused with the option's name.
bool ToNumber(const std::string& text, long long& value) {
  if (text.empty() || text.size() > 9)
    return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

int Main(int argc, char** argv) {
  PrepareConsole();
  CLI::App app{
      "Reads and writes the configuration of an RS485 to MODBUS-RTU TCP/IP client gateway.",
      "velkorin-cli"};
  app.set_version_flag("--version", std::string("velkorin-cli ") + VELKORIN_VERSION);
  app.require_subcommand(1, 1);

  std::string port;
  bool json = false;
  auto* read = app.add_subcommand("read", "Read the gateway's configuration");
  read->add_option("--port", port, "Port name from the port list, or an absolute device path")
      ->required();
  read->add_flag("--json", json, "Print one JSON object");

  auto* write = app.add_subcommand(
      "write", "Write values to the gateway; values not given keep what the gateway has");
  write->add_option("--port", port, "Port name from the port list, or an absolute device path")
      ->required();
  write->add_flag("--json", json, "Print one JSON object");
  std::string ip, subnet, gateway, serverIp, parity, serverPort, unitId, baud, timeoutMs, station;
  CLI::Option* addressOptions[] = {
      write->add_option("--ip", ip, "Gateway IP address A.B.C.D"),
      write->add_option("--subnet", subnet, "Subnet mask A.B.C.D"),
      write->add_option("--gateway", gateway, "Default gateway A.B.C.D"),
      write->add_option("--server-ip", serverIp, "MODBUS TCP server address A.B.C.D")};
  CLI::Option* numberOptions[] = {
      write->add_option("--server-port", serverPort, "MODBUS TCP server port, 1-65535"),
      write->add_option("--unit-id", unitId, "MODBUS TCP unit identifier, 1-255"),
      write->add_option("--baud", baud, "RS485 speed: 9600, 19200, 38400, 57600 or 115200"),
      write->add_option("--timeout-ms", timeoutMs, "Response timeout, 100-1000 in steps of 100"),
      write->add_option("--station", station, "RS485 station number, 1-255")};
  CLI::Option* parityOption = write->add_option("--parity", parity, "none, even or odd");

  auto* ports = app.add_subcommand("ports", "List the serial ports of this machine");
  ports->add_flag("--json", json, "Print one JSON array");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }

  if (*read)
    return RunRead(port, json);
  if (*ports)
    return RunPorts(json);

  WriteValues values;
  const std::string* addressTexts[] = {&ip, &subnet, &gateway, &serverIp};
  std::optional<std::string>* addressTargets[] = {&values.ip, &values.subnet, &values.gateway,
                                                  &values.serverIp};
  for (int i = 0; i < 4; ++i) {
    if (addressOptions[i]->count() > 0)
      *addressTargets[i] = *addressTexts[i];
  }
  const std::string* numberTexts[] = {&serverPort, &unitId, &baud, &timeoutMs, &station};
  std::optional<long long>* numberTargets[] = {&values.serverPort, &values.unitId, &values.baud,
                                               &values.timeoutMs, &values.station};
  for (int i = 0; i < 5; ++i) {
    if (numberOptions[i]->count() == 0)
      continue;
    long long value = 0;
    if (!ToNumber(*numberTexts[i], value)) {
      return UsageError(
          "invalid value for " + numberOptions[i]->get_name() + ": expected a whole decimal number",
          json);
    }
    *numberTargets[i] = value;
  }
  if (parityOption->count() > 0)
    values.parity = parity;
  return RunWrite(port, values, json);
}

}  // namespace
}  // namespace velkorin::cli

int main(int argc, char** argv) {
  return velkorin::cli::Main(argc, argv);
}
