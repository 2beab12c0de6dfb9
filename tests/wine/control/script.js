// The control as a script client sees it: run with cscript, ends with one
// line "N passed, M failed". Needs the control registered and the recording
// stand-in installed as the agent (its exit code comes from exitcode.txt,
// written by the calling scenario: 0x12345).
var passed = 0, failed = 0;
function check(name, actual, expected) {
  if (actual === expected) { passed++; WScript.Echo("ok - " + name); }
  else { failed++; WScript.Echo("not ok - " + name + " | expected: " + expected + " | actual: " + actual); }
}
function refused(name, f) {
  try { f(); failed++; WScript.Echo("not ok - " + name + " | no error"); }
  catch (e) { passed++; WScript.Echo("ok - " + name + " (" + (e.number >>> 0).toString(16) + ")"); }
}

try {
  var z = new ActiveXObject("ZADUZE.ZaduzeCtrl.1");

  // Defaults of a control no page has configured.
  var defaults = [["ProtectKeyList", ""], ["DebugLog", 0], ["WebSandboxMode", 1], ["ProtectKeyCheat", 1],
                  ["ProtectMouseCheat", 1], ["ProtectAppCheat", 1], ["ProtectAppExceptionList", ""],
                  ["KeepAliveMillisec", 1000], ["ProtectExplorerCheat", 1], ["ProtectExplorerExceptionList", ""],
                  ["DebugSandbox", 0], ["AppNotification", 1], ["ProtectAppBlackList", ""],
                  ["ProtectIEToolbarCheat", 1], ["Text", ""]];
  for (var i = 0; i < defaults.length; i++) check("default " + defaults[i][0], z[defaults[i][0]], defaults[i][1]);

  // Writes and reads back; shorts keep their sign and range.
  var writes = [["ProtectKeyList", "ALT+TAB,CTRL"], ["DebugLog", 1], ["WebSandboxMode", 0], ["ProtectKeyCheat", -1],
                ["ProtectMouseCheat", 0], ["ProtectAppCheat", 32767], ["ProtectAppExceptionList", "calc.exe,,x"],
                ["KeepAliveMillisec", -32768], ["ProtectExplorerCheat", 0],
                ["ProtectExplorerExceptionList", "http://exam/,\uc2dc\ud5d8"], ["DebugSandbox", 1],
                ["AppNotification", 0], ["ProtectAppBlackList", "say \"hi\"\\"], ["ProtectIEToolbarCheat", 0],
                ["Text", "other"]];
  for (var i = 0; i < writes.length; i++) {
    z[writes[i][0]] = writes[i][1];
    check("write/read " + writes[i][0], z[writes[i][0]], writes[i][1]);
  }
  z.KeepAliveMillisec = "1500";
  check("a numeric text converts", z.KeepAliveMillisec, 1500);
  refused("40000 overflows a short", function () { z.KeepAliveMillisec = 40000; });
  check("a refused write keeps the value", z.KeepAliveMillisec, 1500);
  refused("text that is no number is refused", function () { z.DebugLog = "yes"; });

  // Names: the dispatch table answers, ignoring case; the library's names do not.
  check("keepalivemillisec (any case)", z.keepalivemillisec, 1500);
  check("KeepAliveTime is unknown", typeof z.KeepAliveTime, "undefined");
  refused("ProtectWebCheat cannot be set", function () { z.ProtectWebCheat = 1; });

  // Methods.
  check("GetVersion", z.GetVersion(), "");  // the version is read when the window is created
  check("GetOSVersion", z.GetOSVersion(), "Windows 7");
  check("GetVersion2 form", /^ \(\w{3} [ \d]\d \d{4},\d\d:\d\d:\d\d\)$/.test(z.GetVersion2()), true);
  check("GetMonitorCount", z.GetMonitorCount(), 1);
  check("GetCheatAppCount: low 16 bits of 0x12345", z.GetCheatAppCount(), 0x2345);
  check("TrustzoneAddIP", z.TrustzoneAddIP("10.0.0.1"), 0x2345);
  check("TrustzoneAddDomain", z.TrustzoneAddDomain("exam.example"), 0x2345);
  check("TrustzoneQueryIP", z.TrustzoneQueryIP("10.0.0.1"), 0x2345);
  check("TrustzoneQueryDomain", z.TrustzoneQueryDomain("exam.example"), 0x2345);
  check("an empty query runs no agent", z.TrustzoneQueryDomain(""), -1);
  check("a value taken for an option runs no agent", z.TrustzoneAddDomain("-RegistrySetLoose"), -1);
  check("a value with a NUL runs no agent", z.TrustzoneAddIP("10.0.0.1\u0000-x"), -1);
  var saved = z.ProtectAppBlackList, longList = "x";
  while (longList.length < 40000) longList += longList;
  z.ProtectAppBlackList = longList;
  check("a command line too long for Windows runs no agent", z.GetCheatAppCount(), -1);
  z.ProtectAppBlackList = saved;
  check("StopZaduzeApp before any start", z.StopZaduzeApp(), 0);
  refused("a method needs its parameters", function () { z.SaveTextAsFile("a.txt"); });

  // Text files in Documents\zaduze\doc.
  check("save x LF y", z.SaveTextAsFile("t1.txt", "x\ny"), 0);
  check("load x LF y", z.LoadTextFromFile("t1.txt"), "x\ny");
  z.SaveTextAsFile("t2.txt", "a\r\nb\r\n");
  check("CR LF comes back as LF, the last line end dropped", z.LoadTextFromFile("t2.txt"), "a\nb");
  z.SaveTextAsFile("t3.txt", "\nlead");
  check("a leading empty line vanishes", z.LoadTextFromFile("t3.txt"), "lead");
  z.SaveTextAsFile("t4.txt", "\uc2dc\ud5d8 \uB2F5\uC548");
  check("Korean text round-trips", z.LoadTextFromFile("t4.txt"), "\uc2dc\ud5d8 \uB2F5\uC548");
  check("missing file loads empty", z.LoadTextFromFile("missing.txt"), "");
  check("a subfolder that exists", z.SaveTextAsFile("sub\\s.txt", "in sub"), 0);
  check("loads from the subfolder", z.LoadTextFromFile("sub/s.txt"), "in sub");
  check("a subfolder that does not exist", z.SaveTextAsFile("nosub\\s.txt", "x"), -1);
  var escapes = ["..\\escape.txt", "../escape.txt", "sub\\..\\..\\escape.txt", "C:\\escape.txt", "\\escape.txt",
                 "Z:escape.txt", "t1.txt:stream", "NUL", "con.txt", "\\\\?\\C:\\escape.txt", "..."];
  for (var i = 0; i < escapes.length; i++) {
    check("save refused: " + escapes[i], z.SaveTextAsFile(escapes[i], "x"), -1);
    check("load refused: " + escapes[i], z.LoadTextFromFile(escapes[i]), "");
  }
  check("load refused: parent step to an existing file", z.LoadTextFromFile("..\\doc\\t1.txt"), "");

  // The type library through the control's class information is left to the
  // container (--describe): JScript has no ITypeInfo.
} catch (e) {
  failed++;
  WScript.Echo("not ok - script error " + (e.number >>> 0).toString(16) + " " + e.message);
}
WScript.Echo(passed + " passed, " + failed + " failed");
