#include "platform/registry_reader.h"
#include "registry/network_sections.h"
#include "registry_scan_fixture.h"

namespace tarnscan::testing {
namespace {

const std::string kHandlerHeader = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\PROTOCOLS\\Handler]";
const std::string kFilterHeader = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\PROTOCOLS\\Filter]";

class Protocols : public RegistryScanTest {
 protected:
  Protocols() {
    AddProgram("C:\\WINDOWS\\system32\\msproto.dll", "Microsoft Corporation");
    AddProgram("C:\\Program Files\\Spy\\spy.dll", "Spy Inc");
    AddProgram("C:\\WINDOWS\\system32\\sub.dll", "Sub Corp");
    Reg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Classes\PROTOCOLS\Handler\ms]
"CLSID"="{MS}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\PROTOCOLS\Handler\ms\inner]
"CLSID"="{SPY}"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\PROTOCOLS\Handler\noclsid]

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\PROTOCOLS\Handler\keyonly]
"CLSID"="{KEYONLY}"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\PROTOCOLS\Handler\spyproto]
"CLSID"="{SPY}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\PROTOCOLS\Handler\spyproto\msub]
"CLSID"="{MS}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\PROTOCOLS\Handler\spyproto\sub]
"CLSID"="{SUB}"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\PROTOCOLS\Handler\zeta]
"CLSID"="{ZETA}"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{MS}\InprocServer32]
@="%SystemRoot%\\system32\\msproto.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{SPY}\InprocServer32]
@="\"C:\\Program Files\\Spy\\spy.dll\""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{SUB}\InprocServer32]
@="sub.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{ZETA}\InprocServer32]
@="C:\\Program Files\\Spy\\spy.dll"

[HKEY_CURRENT_USER\SOFTWARE\Classes\CLSID\{MS}\InprocServer32]
@="C:\\x\\msuser.dll"
[HKEY_CURRENT_USER\SOFTWARE\Classes\CLSID\{SPY}\InprocServer32]
@="C:\\x\\user.dll"
[HKEY_CURRENT_USER\SOFTWARE\Classes\CLSID\{SUB}\InprocServer32]
@="C:\\x\\sub2.dll"
[HKEY_CURRENT_USER\SOFTWARE\Classes\CLSID\{KEYONLY}\InprocServer32]
"ThreadingModel"="Apartment"
[HKEY_CURRENT_USER\SOFTWARE\Classes\CLSID\{ZETA}\InprocServer32]
@="%SystemRoot%\\system32\\msproto.dll"
)");
  }
};

TEST_F(Protocols, NonMicrosoftHandlersWithSubkeysAndPerUserClasses) {
  ASSERT_FALSE(context().options.Ticked("chkAllProtocolHandlers"));
  // "ms" is Microsoft's: neither its subkey nor its per-user class shows,
  // whatever they name. A per-user class without a library adds nothing.
  EXPECT_EQ(Run(ScanProtocolHandlers),
            (Lines{kHandlerHeader, "  \\keyonly -  ()", "  \\noclsid -  ()",
                   "  \\spyproto - \"C:\\Program Files\\Spy\\spy.dll\" (Spy Inc)",
                   "  \\spyproto\\sub - sub.dll (Sub Corp)",
                   "  \\spyproto\\sub - C:\\x\\sub2.dll () (HKCU CLSID)",
                   "  \\spyproto - C:\\x\\user.dll () (HKCU CLSID)",
                   "  \\zeta - C:\\Program Files\\Spy\\spy.dll (Spy Inc)", ""}));
}

TEST_F(Protocols, ShowAllListsMicrosoftHandlersToo) {
  context().options.Set("chkAllProtocolHandlers", true);
  EXPECT_EQ(
      Run(ScanProtocolHandlers),
      (Lines{kHandlerHeader, "  \\keyonly -  ()",
             "  \\ms - %SystemRoot%\\system32\\msproto.dll (Microsoft Corporation)",
             "  \\ms\\inner - \"C:\\Program Files\\Spy\\spy.dll\" (Spy Inc)",
             "  \\ms\\inner - C:\\x\\user.dll () (HKCU CLSID)",
             "  \\ms - C:\\x\\msuser.dll () (HKCU CLSID)", "  \\noclsid -  ()",
             "  \\spyproto - \"C:\\Program Files\\Spy\\spy.dll\" (Spy Inc)",
             "  \\spyproto\\msub - %SystemRoot%\\system32\\msproto.dll (Microsoft Corporation)",
             "  \\spyproto\\msub - C:\\x\\msuser.dll () (HKCU CLSID)",
             "  \\spyproto\\sub - sub.dll (Sub Corp)",
             "  \\spyproto\\sub - C:\\x\\sub2.dll () (HKCU CLSID)",
             "  \\spyproto - C:\\x\\user.dll () (HKCU CLSID)",
             "  \\zeta - C:\\Program Files\\Spy\\spy.dll (Spy Inc)",
             "  \\zeta - %SystemRoot%\\system32\\msproto.dll (Microsoft Corporation) (HKCU CLSID)",
             ""}));
}

TEST_F(Protocols, FiltersUseTheirOwnKeyAndBox) {
  Reg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Classes\PROTOCOLS\Filter\text/webviewhtml]
"CLSID"="{MS}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\PROTOCOLS\Filter\text/x-spy]
"CLSID"="{ZETA}"
)");
  context().options.Set("chkAllProtocolHandlers", true);
  EXPECT_EQ(
      Run(ScanProtocolFilters),
      (Lines{kFilterHeader, "  \\text/x-spy - C:\\Program Files\\Spy\\spy.dll (Spy Inc)", ""}));
  context().log.Clear();
  context().options.Set("chkAllProtocolFilters", true);
  EXPECT_EQ(
      Run(ScanProtocolFilters),
      (Lines{kFilterHeader,
             "  \\text/webviewhtml - %SystemRoot%\\system32\\msproto.dll (Microsoft Corporation)",
             "  \\text/webviewhtml - C:\\x\\msuser.dll () (HKCU CLSID)",
             "  \\text/x-spy - C:\\Program Files\\Spy\\spy.dll (Spy Inc)",
             "  \\text/x-spy - %SystemRoot%\\system32\\msproto.dll (Microsoft Corporation) (HKCU "
             "CLSID)",
             ""}));
}

TEST_F(Protocols, AnEmptyOrMissingListKeyWritesNoHeader) {
  EXPECT_EQ(Run(ScanProtocolFilters), Lines{""});
  Reg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\PROTOCOLS\\Filter]\n");
  context().log.Clear();
  EXPECT_EQ(Run(ScanProtocolFilters), Lines{""});
}

TEST_F(Protocols, ANonTextClsidEndsTheScan) {
  Reg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Classes\PROTOCOLS\Handler\bad]
"CLSID"=hex:7b,00
)");
  EXPECT_THROW(ScanProtocolHandlers(context()), platform::RegistryError);
}

}  // namespace
}  // namespace tarnscan::testing
