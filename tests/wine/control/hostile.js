// A hostile page as a script client (cscript hostile.js SEED MAXCALLS
// MAXSECONDS): random members (known, unknown, odd case) called, read and
// written with random arguments (empty, "-x", embedded NUL, 1 MB, numbers out
// of range, objects, missing or extra ones) in random order. Errors thrown
// back to the script are expected; the host must survive. Ends with the line
// "calls N errors E".
var args = WScript.Arguments;
var seed = args.length > 0 ? parseInt(args(0), 10) : 1;
var maxCalls = args.length > 1 ? parseInt(args(1), 10) : 2000;
var maxMs = (args.length > 2 ? parseInt(args(2), 10) : 40) * 1000;
function rnd(n) {  // a small LCG: the run can be repeated from its seed
  seed = (seed * 1103515245 + 12345) % 2147483648;
  return seed % n;
}
var big = "x";
while (big.length < 1048576) big += big;
var names = ["Text", "GetVersion", "GetOSVersion", "ProtectKeyList", "DebugLog", "WebSandboxMode",
             "ProtectKeyCheat", "ProtectMouseCheat", "ProtectAppCheat", "ProtectAppExceptionList",
             "KeepAliveMillisec", "ProtectExplorerCheat", "ProtectExplorerExceptionList", "DebugSandbox",
             "StopZaduzeApp", "GetVersion2", "SaveTextAsFile", "LoadTextFromFile", "GetMonitorCount",
             "AppNotification", "ProtectAppBlackList", "ProtectIEToolbarCheat", "GetCheatAppCount",
             "TrustzoneAddIP", "TrustzoneAddDomain", "TrustzoneQueryIP", "TrustzoneQueryDomain",
             "trustzoneadddomain", "KeepAliveTime", "NoSuchMember", "StartZaduzeApp"];
var values = ["", "-x", "-RegistrySetLoose", "a\u0000b", "\u0000", big, "exam.example", "10.0.0.1",
              "..\\escape.txt", "C:\\escape.txt", "t.txt", "sub\\t.txt", "\"quoted\" \\", "\uc2dc\ud5d8",
              0, -1, 1, 32767, 40000, -40000, 1e10, 3.5, NaN, null, undefined, true, {}, [1, 2]];
var z = new ActiveXObject("ZADUZE.ZaduzeCtrl.1");
var calls = 0, errors = 0, starts = 0, t0 = new Date().getTime();
while (calls < maxCalls && new Date().getTime() - t0 < maxMs) {
  var name = names[rnd(names.length)];
  if (name == "StartZaduzeApp" && ++starts > 3) continue;  // each start leaves an agent for a while
  var a = [];
  for (var n = rnd(4); n > 0; n--) a.push(values[rnd(values.length)]);
  calls++;
  try {
    switch (rnd(3)) {
      case 0: z[name] = a.length > 0 ? a[0] : undefined; break;
      case 1: var v = z[name]; break;
      default:
        if (a.length == 0) z[name]();
        else if (a.length == 1) z[name](a[0]);
        else if (a.length == 2) z[name](a[0], a[1]);
        else z[name](a[0], a[1], a[2]);
    }
  } catch (e) {
    errors++;
  }
}
WScript.Echo("calls " + calls + " errors " + errors);
