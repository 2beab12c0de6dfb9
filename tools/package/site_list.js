// Custom actions of the packages (JScript, run by Windows Installer):
// the Enterprise Mode site list that opens the exam sites in Edge's Internet
// Explorer mode. ES3 only (the Windows Script engine).
//
// ZvPrepareSiteList (immediate): from INSTALLDIR and ALLOWEDSITES, sets
//   ZVEDGESITELISTURL  the list's file:/// address (the Edge policy value)
//   ZvWriteSiteList    "<file path>\n<list text>" for the deferred action
// ZvWriteSiteList (deferred, as the installer's own account): writes the file.

var SITE_LIST_NAME = "ZaduzeSiteList.xml";

// The hosts of the allowed-site entries, in their order, each once: an entry
// is [http:// | https://] [*.] host [:port] [/]; the scheme and the "*." are
// dropped (the list names hosts), a port stays. Entries the control would
// refuse are skipped, so the list never names a site the control refuses.
function SiteListHosts(allowed) {
  var entries = String(allowed).split(/[,\u0000]/);
  var seen = {}, hosts = [];
  for (var i = 0; i < entries.length; i++) {
    var e = entries[i].replace(/^[ \t\r\n]+|[ \t\r\n]+$/g, "").toLowerCase();
    var m = /^(?:(https?):\/\/)?(\*\.)?([a-z0-9-]+(?:\.[a-z0-9-]+)*)(?::([0-9]{1,5}))?\/?$/.exec(e);
    if (!m || m[3].length > 253) continue;
    var host = m[3];
    if (m[4]) {
      var port = parseInt(m[4], 10);
      if (port < 1 || port > 65535) continue;
      host += ":" + port;
    }
    if (!seen.hasOwnProperty(host)) {
      seen[host] = true;
      hosts.push(host);
    }
  }
  return hosts;
}

// The list's text. Edge loads a list only when its version is higher than
// the one it holds: seconds since 1970 grow with every install that writes it.
function SiteListXml(hosts, version) {
  var lines = ['<?xml version="1.0" encoding="utf-8"?>', '<site-list version="' + version + '">'];
  for (var i = 0; i < hosts.length; i++) {
    lines.push('  <site url="' + hosts[i] + '">');
    lines.push("    <compat-mode>Default</compat-mode>");
    lines.push("    <open-in>IE11</open-in>");
    lines.push("  </site>");
  }
  lines.push("</site-list>");
  return lines.join("\r\n") + "\r\n";
}

// file:///C:/Program%20Files/Zaduze/ZaduzeSiteList.xml for a folder that ends
// with a backslash, as Windows Installer's folders do.
function FileUrl(path) {
  var parts = path.split("\\");
  for (var i = 0; i < parts.length; i++) {
    if (!(i == 0 && /^[A-Za-z]:$/.test(parts[i]))) parts[i] = encodeURIComponent(parts[i]);
  }
  return "file:///" + parts.join("/");
}

function ZvPrepareSiteList() {
  var file = Session.Property("INSTALLDIR") + SITE_LIST_NAME;
  Session.Property("ZVEDGESITELISTURL") = FileUrl(file);
  var version = Math.floor(new Date().getTime() / 1000);
  Session.Property("ZvWriteSiteList") = file + "\n" + SiteListXml(SiteListHosts(Session.Property("ALLOWEDSITES")), version);
  return 1;
}

function ZvWriteSiteList() {
  var data = Session.Property("CustomActionData");
  var cut = data.indexOf("\n");
  var fso = new ActiveXObject("Scripting.FileSystemObject");
  // ASCII only (hosts are ASCII names): the file's code page does not matter.
  var out = fso.CreateTextFile(data.substring(0, cut), true, false);
  out.Write(data.substring(cut + 1));
  out.Close();
  return 1;
}
