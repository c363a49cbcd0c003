#include "ports/sysfs_ports.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace velkorin {
namespace {

namespace fs = std::filesystem;

// A scratch folder that goes away with the test.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "velkorin-ports-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void WriteFile(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text;
}

// A relative link, as sysfs makes them.
void Link(const fs::path& link, const fs::path& target) {
  fs::create_directories(link.parent_path());
  fs::create_directory_symlink(target.lexically_relative(link.parent_path()), link);
}

// A sysfs tree shaped like the kernel's: class/tty/NAME links to the tty's folder in the device
// tree, whose "device" link points at the device, whose "driver" link points into bus/.
class SysfsTree {
 public:
  explicit SysfsTree(const fs::path& root) : root_(root) {
    fs::create_directories(root_ / "class" / "tty");
  }

  // A tty of `device` (a folder under devices/), bound or not, with an optional "type" attribute.
  void Tty(const std::string& name, const std::string& device, const std::string& type = "") {
    const fs::path deviceDir = root_ / "devices" / device;
    const fs::path ttyDir = deviceDir / "tty" / name;
    fs::create_directories(ttyDir);
    WriteFile(ttyDir / "dev", "4:64\n");
    if (!type.empty())
      WriteFile(ttyDir / "type", type + "\n");
    Link(ttyDir / "device", deviceDir);
    Link(root_ / "class" / "tty" / name, ttyDir);
  }

  // A tty with no device behind it: virtual consoles, the console, ptmx.
  void VirtualTty(const std::string& name) {
    const fs::path ttyDir = root_ / "devices" / "virtual" / "tty" / name;
    WriteFile(ttyDir / "dev", "4:0\n");
    Link(root_ / "class" / "tty" / name, ttyDir);
  }

  void Driver(const std::string& device, const std::string& bus, const std::string& driver) {
    const fs::path driverDir = root_ / "bus" / bus / "drivers" / driver;
    fs::create_directories(driverDir);
    Link(root_ / "devices" / device / "driver", driverDir);
  }

  void UsbDevice(const std::string& device, const std::string& product,
                 const std::string& manufacturer) {
    const fs::path dir = root_ / "devices" / device;
    WriteFile(dir / "idVendor", "0403\n");
    if (!product.empty())
      WriteFile(dir / "product", product + "\n");
    if (!manufacturer.empty())
      WriteFile(dir / "manufacturer", manufacturer + "\n");
  }

 private:
  fs::path root_;
};

// A USB adapter, a modem-class (ACM) device, a UART on the PNP bus as kernels since 6.5 show it,
// one as older kernels show it, an empty 8250 slot, an unbound USB port and virtual terminals.
void BuildMachine(const fs::path& root) {
  SysfsTree sys(root);
  const std::string usb = "pci0000:00/0000:00:14.0/usb1";
  sys.UsbDevice(usb + "/1-2", "FT232R USB UART", "FTDI");
  sys.Tty("ttyUSB0", usb + "/1-2/1-2:1.0/ttyUSB0");
  sys.Driver(usb + "/1-2/1-2:1.0/ttyUSB0", "usb-serial", "ftdi_sio");
  sys.Driver(usb + "/1-2/1-2:1.0", "usb", "ftdi_sio");

  sys.UsbDevice(usb + "/1-3", "", "Arduino (www.arduino.cc)");
  sys.Tty("ttyACM0", usb + "/1-3/1-3:1.0");
  sys.Driver(usb + "/1-3/1-3:1.0", "usb", "cdc_acm");

  sys.Tty("ttyS2", "pnp0/00:02/00:02:0/00:02:0.0", "4");
  sys.Driver("pnp0/00:02/00:02:0/00:02:0.0", "serial-base", "port");
  sys.Driver("pnp0/00:02/00:02:0", "serial-base", "ctrl");
  sys.Driver("pnp0/00:02", "pnp", "serial");

  sys.Tty("ttyS10", "platform/serial8250", "4");
  sys.Tty("ttyS3", "platform/serial8250", "0");
  sys.Driver("platform/serial8250", "platform", "serial8250");

  sys.UsbDevice(usb + "/1-4", "CP2102 USB to UART Bridge Controller", "Silicon Labs");
  sys.Tty("ttyUSB1", usb + "/1-4/1-4:1.0/ttyUSB1");  // its driver was unbound

  sys.VirtualTty("tty0");
  sys.VirtualTty("tty1");
  sys.VirtualTty("console");
}

const PortInfoList kMachinePorts = {
    {"/dev/ttyACM0", "ttyACM0", "Arduino (www.arduino.cc) (ttyACM0)"},
    {"/dev/ttyS2", "ttyS2", "serial (ttyS2)"},
    {"/dev/ttyS10", "ttyS10", "serial8250 (ttyS10)"},
    {"/dev/ttyUSB0", "ttyUSB0", "FT232R USB UART (ttyUSB0)"},
};

TEST(EnumerateSysfsPorts, DevicesWithDriversInNaturalOrder) {
  TempDir dir;
  BuildMachine(dir.path());
  EXPECT_EQ(EnumerateSysfsPorts(dir.path()), kMachinePorts);
}

TEST(EnumerateSysfsPorts, NoTtyClassIsAFailure) {
  TempDir dir;
  try {
    EnumerateSysfsPorts(dir.path());
    FAIL() << "no failure";
  } catch (const DiscoveryError& e) {
    EXPECT_EQ(e.what(), "Could not read from " + (dir.path() / "class/tty").string());
  }
}

TEST(NaturalLess, DigitRunsCompareAsNumbers) {
  struct Case {
    const char* a;
    const char* b;
    bool less;
  };
  const Case cases[] = {
      {"ttyS2", "ttyS10", true},  {"ttyS10", "ttyS2", false},
      {"ttyS1", "ttyS1", false},  {"ttyACM0", "ttyS0", true},
      {"ttyS9", "ttyUSB0", true}, {"ttyS", "ttyS0", true},
      {"ttyS01", "ttyS1", true},  {"ttyS1", "ttyS01", false},
      {"ttyS1a", "ttyS1b", true}, {"a99", "a100000000000000000000000", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " < " + c.b);
    EXPECT_EQ(NaturalLess(c.a, c.b), c.less);
  }
}

// What /dev of the fixture machine holds besides its ports.
void BuildDev(const fs::path& dev) {
  for (const char* name : {"ttyS10", "ttyS2", "ttyS0", "ttyS1", "ttyUSB0", "ttyACM0", "ttyAMA0",
                           "rfcomm0", "tty0", "console", "ttyprintk", "ttyS", "ttySX", "null"})
    WriteFile(dev / name, "");
  fs::create_directories(dev / "serial" / "by-id");
}

TEST(BuildSysfsPortNameList, NamesArePortNames) {
  TempDir dir;
  BuildMachine(dir.path() / "sys");
  BuildDev(dir.path() / "dev");
  const PortNameList list = BuildSysfsPortNameList(dir.path() / "sys", dir.path() / "dev");
  EXPECT_EQ(list.names, (std::vector<std::string>{"ttyACM0", "ttyS2", "ttyS10", "ttyUSB0"}));
  EXPECT_EQ(list.ports, kMachinePorts);
  EXPECT_TRUE(list.failure.empty());
}

TEST(BuildSysfsPortNameList, NothingFoundOffersTheSerialNodesOfDev) {
  const std::vector<std::string> expected = {"rfcomm0", "ttyACM0", "ttyAMA0", "ttyS0",
                                             "ttyS1",   "ttyS2",   "ttyS10",  "ttyUSB0"};
  struct Case {
    const char* what;
    bool ttyClass;
  };
  for (const Case& c : {Case{"no port in sysfs", true}, Case{"no sysfs", false}}) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const fs::path sys = dir.path() / "sys";
    fs::create_directories(c.ttyClass ? sys / "class" / "tty" : sys);
    if (c.ttyClass)
      SysfsTree(sys).VirtualTty("tty0");
    BuildDev(dir.path() / "dev");

    const PortNameList list = BuildSysfsPortNameList(sys, dir.path() / "dev");
    EXPECT_EQ(list.names, expected);
    ASSERT_EQ(list.ports.size(), expected.size());
    EXPECT_EQ(list.ports[1],
              (SerialPortInfo{(dir.path() / "dev" / "ttyACM0").string(), "ttyACM0", "ttyACM0"}));
    EXPECT_EQ(list.failure,
              c.ttyClass ? "" : "Could not read from " + (sys / "class" / "tty").string());
  }
}

TEST(BuildPortNameList, ThisMachineWithoutThrowing) {
  PortNameList list;
  ASSERT_NO_THROW(list = BuildPortNameList(5));
  EXPECT_EQ(list.names.size(), list.ports.size());
}

}  // namespace
}  // namespace velkorin
