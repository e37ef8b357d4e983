#include "platform/registry_reader.h"
#include "registry/network_sections.h"
#include "registry_scan_fixture.h"

namespace tarnscan::testing {
namespace {

using DnsNameServers = RegistryScanTest;

TEST_F(DnsNameServers, HandSetServersPerAdapterWithTheCardThatServesIt) {
  Reg(R"([HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Adapters\{A1}]
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Adapters\{B2}]
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Adapters\{C3}]
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Adapters\{D4}]

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\{A1}]
"DhcpNameServer"="10.0.0.1"
"nameserver"="85.255.112.1,85.255.113.2"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\{B2}]
"DhcpNameServer"="192.168.1.1"
"NameServerList"="x"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\{C3}]
"NameServer"=""

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\{D4}]
"NameServer"="4.2.2.2"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards\1]
"ServiceName"="{A1}"
"Description"="Old Card"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards\2]
"ServiceName"="{c3}"
"Description"="Case Differs"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards\3]
"ServiceName"="{A1}"
"Description"="Realtek RTL8139 Family PCI Fast Ethernet NIC"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards\4]
"ServiceName"="{D4}"
)");
  EXPECT_EQ(
      Run(ScanDNSNameServers),
      (Lines{"  {A1} - 85.255.112.1,85.255.113.2  (Realtek RTL8139 Family PCI Fast Ethernet NIC)",
             "  {C3} -   ()", "  {D4} - 4.2.2.2  ()", ""}));
}

TEST_F(DnsNameServers, NoAdaptersGivesOnlyTheClosingLine) {
  EXPECT_EQ(Run(ScanDNSNameServers), Lines{""});
}

TEST_F(DnsNameServers, Windows98ListsItsDriversAndTheOneGlobalSetting) {
  UseWindows98();
  EXPECT_EQ(Run(ScanDNSNameServers), (Lines{"  Adapters:", "  Name Server: ", ""}));
  Reg(R"([HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\Net\0000]
"DriverDesc"="Dial-Up Adapter"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class\Net\0001]
"DriverDesc"="Realtek RTL8029(AS) PCI Ethernet NIC"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\VxD\MSTCP]
"NameServer"="195.225.176.37"
)");
  context().log.Clear();
  EXPECT_EQ(Run(ScanDNSNameServers),
            (Lines{"  Adapters:", "    Dial-Up Adapter", "    Realtek RTL8029(AS) PCI Ethernet NIC",
                   "  Name Server: 195.225.176.37", ""}));
}

TEST_F(DnsNameServers, ANonTextServerListEndsTheScan) {
  Reg(R"([HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Adapters\{A1}]
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\{A1}]
"NameServer"=hex(7):31,00,00
)");
  EXPECT_THROW(ScanDNSNameServers(context()), platform::RegistryError);
}

}  // namespace
}  // namespace tarnscan::testing
