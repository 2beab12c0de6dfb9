#!/usr/bin/env python3
"""Writes the WiX source of one Windows Installer package, and the SQL that
completes what wixl cannot express.

The control's COM registration is not written down here: it comes from the
registry exports that capture_registration.sh takes before and after
regsvr32 registers each build (what DllRegisterServer itself writes,
including what RegisterTypeLib and the component categories manager add).
Every value that appeared is turned into a Registry row of the package; the
scratch paths the DLLs were registered from become references to the
installed files and folders.

    make_wxs.py ARCH VERSION CAPTURE_DIR BIN_DIR OUT.wxs OUT.sql PAYLOAD_DIGEST

ARCH is x64 (agent, x86_64 control in the 64-bit view, i686 control in the
32-bit view) or x86 (agent and i686 control). BIN_DIR holds ZedudeVeri.exe,
Zaduze.dll and, for x64, x86/Zaduze.dll, plus ZedudeVeri.ico. PAYLOAD_DIGEST
is a digest of those files: the product and package codes are derived from
it and from the generated source, so that the same content always gives the
same package and different content of one version a different product (which
replaces the other: the upgrade detection includes the same version).

A row that deletes a whole key on uninstall (an empty key of the capture, a
key created for the package) must lie below one of the control's own
identifiers (zaduze_guids.h): otherwise the build stops.
"""
import hashlib
import os
import re
import sys
import uuid
from xml.sax.saxutils import quoteattr

from regfile import added, parse_reg

# Fixed forever: every version and both architectures share it, so a newer
# package replaces an older one and one package replaces the other.
UPGRADE_CODE = "{5B0C8E27-3F6A-4E1D-9C55-7A1D2B94E0C3}"
# Component and product codes are derived from names, so that a rebuild of
# the same version yields the same package identity.
NAMESPACE = uuid.UUID("0f7a4c1e-6b2d-4d8e-a3c1-5e9b2f7d8a61")
# Each user's copy of the install folder value is written at that user's
# next logon through Active Setup.
ACTIVE_SETUP_ID = "{6E2F4A90-1C3B-4F7D-8E5A-0B9C7D3E2F14}"
CLASSES = "HKEY_LOCAL_MACHINE\\Software\\Classes"
# The agent's elevation policy for the browser's protected mode: fixed forever.
ELEVATION_ID = "{8D4C2B7A-5E13-4F6B-9A0D-3C7E1F2B6D58}"
ELEVATION_KEY = "SOFTWARE\\Microsoft\\Internet Explorer\\Low Rights\\ElevationPolicy\\" + ELEVATION_ID
PREAPPROVED_KEY = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Ext\\PreApproved\\"
EDGE_POLICIES = "SOFTWARE\\Policies\\Microsoft\\Edge"
RUN_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
GUIDS_H = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "control", "ocx", "zaduze_guids.h")


def own_ids():
    """The control's CLSIDs, LIBID, interface ids and ProgIDs, upper case."""
    text = open(GUIDS_H, encoding="utf-8").read()
    ids = set(g.upper() for g in re.findall(r"^// (\{[0-9A-Fa-f-]{36}\})$", text, re.M))
    ids |= set(p.upper() for p in re.findall(r'ProgId\[\] = L"([^"]+)"', text))
    if len(ids) < 6:
        raise SystemExit("cannot read the control's identifiers from " + GUIDS_H)
    return ids


def check_whole_key_row(key, ids):
    """A key deleted whole on uninstall must be one of ours or below one."""
    if not any(part.upper() in ids for part in key.split("\\")):
        raise SystemExit("a package row would delete the key %s on uninstall, which is not below one of the "
                         "control's own identifiers" % key)


def check_version(version):
    """Four numbers, at most 255.255.65535.0: Windows Installer compares only
    the first three, so a fourth that is not 0 would make two builds look alike."""
    fields = version.split(".")
    if len(fields) != 4 or not all(f.isdigit() and len(f) <= 5 for f in fields) or \
            int(fields[0]) > 255 or int(fields[1]) > 255 or int(fields[2]) > 65535:
        raise SystemExit("version %s: four numbers, at most 255.255.65535.0" % version)
    if int(fields[3]) != 0:
        raise SystemExit("version %s: the fourth field must be 0 (Windows Installer ignores it when it "
                         "compares versions, so an upgrade would not see the difference)" % version)


def guid(*parts):
    return "{%s}" % str(uuid.uuid5(NAMESPACE, "/".join(parts))).upper()


def formatted(text, paths):
    """A literal text as an MSI formatted value, scratch paths replaced."""
    text = text.replace("[", "\x01").replace("]", "\x02")
    text = text.replace("\x01", "[\\[]").replace("\x02", "[\\]]")
    for scratch, ref in paths:
        text = text.replace(scratch, ref)
    if text.startswith("#"):
        text = "#" + text  # a leading # would make it a number
    return text


class Rows:
    def __init__(self, ids):
        self.ids = ids
        self.components = []  # (id, dir, win64, keypath-xml-or-None, body, flags)
        self.sql = []

    def registry(self, comp, key, values, paths):
        """RegistryValue elements of one captured key below Classes."""
        out = []
        rel = key[len(CLASSES) + 1:]
        if not values:
            # An empty key: created with the component, removed with it.
            check_whole_key_row("Software\\Classes\\" + rel, self.ids)
            rid = "reg" + guid(comp, rel).strip("{}").replace("-", "")[:30]
            self.sql.append("INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) "
                            "VALUES ('%s', 2, '%s', '*', '%s')" % (rid, ("Software\\Classes\\" + rel).replace("'", "''"),
                                                                  comp))
            return out
        for name in sorted(values):
            kind, data = values[name]
            attrs = 'Root="HKLM" Key=%s' % quoteattr("Software\\Classes\\" + rel)
            if name:
                attrs += " Name=%s" % quoteattr(name)
            if kind == "dword":
                attrs += ' Type="integer" Value="%d"' % data
            elif kind != "sz":
                raise SystemExit("registration value of a type not handled: %s %s %s" % (key, name, data))
            else:
                attrs += ' Type="string" Value=%s' % quoteattr(formatted(data, paths))
            out.append("<RegistryValue %s/>" % attrs)
        return out


def main():
    if sys.argv[1] == "--check-version":
        check_version(sys.argv[2])
        return
    arch, version, capdir, bindir, out_wxs, out_sql, payload = sys.argv[1:8]
    check_version(version)
    scratch64, scratch32 = open(capdir + "/paths.txt").read().split()
    ids = own_ids()
    rows = Rows(ids)
    win64 = arch == "x64"

    def view(bits):
        return added(parse_reg("%s/%s-before.reg" % (capdir, bits)), parse_reg("%s/%s-after.reg" % (capdir, bits)))

    wow = CLASSES + "\\Wow6432Node\\"
    def split(regs):
        """(native, 32-bit view): the export shows the 32-bit view's own keys
        below Wow6432Node; everything else is the native view (or shared)."""
        native, v32 = {}, {}
        for key, values in regs.items():
            if key.startswith(wow):
                v32[CLASSES + "\\" + key[len(wow):]] = values
            elif not key.startswith(CLASSES + "\\"):
                raise SystemExit("registration outside the classes: " + key)
            else:
                native[key] = values
        return native, v32

    dll64 = [(scratch64 + "\\Zaduze.dll", "[#Control64Dll]"), (scratch64, "[INSTALLDIR]")]
    dll32 = [(scratch32 + "\\Zaduze.dll", "[#Control32Dll]"), (scratch32, "[INSTALLDIR32]" if win64 else "[INSTALLDIR]")]
    native32, wow32 = split(view("32"))
    # (component, directory, 64-bit view, file element or None, registrations, paths)
    parts = []
    if win64:
        native64, wow64 = split(view("64"))
        parts.append(("Control64", "INSTALLDIR", True,
                      '<File Id="Control64Dll" Name="Zaduze.dll" Source=%s KeyPath="yes"/>' % quoteattr(bindir + "/Zaduze.dll"),
                      native64, dll64))
        parts.append(("Control64Wow", "INSTALLDIR", False, None, wow64, dll64))
        parts.append(("Control32", "INSTALLDIR32", False,
                      '<File Id="Control32Dll" Name="Zaduze.dll" Source=%s KeyPath="yes"/>' % quoteattr(bindir + "/x86/Zaduze.dll"),
                      wow32, dll32))
        parts.append(("Control32Native", "INSTALLDIR32", True, None, native32, dll32))
    else:
        # One view on 32-bit Windows: both parts of the capture go there.
        merged = {k: dict(v) for k, v in native32.items()}
        for k, v in wow32.items():
            merged.setdefault(k, {}).update(v)
        parts.append(("Control32", "INSTALLDIR", False,
                      '<File Id="Control32Dll" Name="Zaduze.dll" Source=%s KeyPath="yes"/>' % quoteattr(bindir + "/Zaduze.dll"),
                      merged, dll32))

    components = []
    for comp, dirid, w64, file_xml, regs, paths in parts:
        body = [file_xml] if file_xml else []
        cats = []
        for key in sorted(regs):
            if key.startswith(CLASSES + "\\Component Categories\\"):
                cats.extend(rows.registry(comp + "Cats", key, regs[key], paths))
            else:
                body.extend(rows.registry(comp, key, regs[key], paths))
        if not file_xml:
            first = next((i for i, b in enumerate(body) if b.startswith("<RegistryValue")), None)
            if first is None:
                body = []
            else:
                body[first] = body[first].replace("/>", ' KeyPath="yes"/>')
        if body:
            components.append((comp, dirid, w64, body, False))
        if cats:
            # The categories are shared with every other control of the
            # machine (Windows registers them itself): left in place on
            # uninstall, as DllUnregisterServer leaves them.
            cats[0] = cats[0].replace("/>", ' KeyPath="yes"/>')
            components.append((comp + "Cats", dirid, w64, cats, True))

    agent_src = bindir + "/ZedudeVeri.exe"
    components.append(("Agent", "INSTALLDIR", win64,
                       ['<File Id="AgentExe" Name="ZedudeVeri.exe" Source=%s KeyPath="yes"/>' % quoteattr(agent_src)],
                       False))
    # The install folder: the machine-wide value the control prefers (read in
    # the 64-bit view by both builds; a candidate cannot change it), and the
    # per-user value it falls back on.
    components.append(("MachinePath", "INSTALLDIR", win64,
                       ['<RegistryValue Root="HKLM" Key="SOFTWARE\\Zaduze" Name="Path" Type="string" '
                        'Value="[INSTALLDIR]" KeyPath="yes"/>'], False))
    components.append(("UserPath", "INSTALLDIR", win64,
                       ['<RegistryValue Root="HKCU" Key="SOFTWARE\\Zaduze" Name="Path" Type="string" '
                        'Value="[INSTALLDIR]" KeyPath="yes"/>'], False))
    system = "[System64Folder]" if win64 else "[SystemFolder]"
    stub = '"%sreg.exe" add HKCU\\SOFTWARE\\Zaduze /v Path /d "[INSTALLDIR]\\" /f' % system
    asetup = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\" + ACTIVE_SETUP_ID
    components.append(("ActiveSetup", "INSTALLDIR", win64, [
        '<RegistryValue Root="HKLM" Key=%s Type="string" Value="Zaduze" KeyPath="yes"/>' % quoteattr(asetup),
        '<RegistryValue Root="HKLM" Key=%s Name="Version" Type="string" Value="%s"/>' %
        (quoteattr(asetup), version.replace(".", ",")),
        '<RegistryValue Root="HKLM" Key=%s Name="IsInstalled" Type="integer" Value="1"/>' % quoteattr(asetup),
        '<RegistryValue Root="HKLM" Key=%s Name="StubPath" Type="string" Value=%s/>' % (quoteattr(asetup),
                                                                                          quoteattr(stub)),
    ], False))
    # The registry views the browsers read: for the x64 package both (a
    # 32-bit tab reads the 32-bit view), for the x86 package its only one.
    views = [("64", True), ("32", False)] if win64 else [("32", False)]
    # Components whose condition is evaluated again on a reinstall
    # (transitive): a policy given later is added, one taken back removed.
    transitive = []
    for suffix, w64 in views:
        # The site-lock policy, only when ALLOWEDSITES is given.
        comp = "AllowedSites" + suffix
        components.append((comp, "INSTALLDIR", w64, [
            '<RegistryValue Root="HKLM" Key="SOFTWARE\\Zaduze" Name="AllowedSites" Type="string" '
            'Value="[ALLOWEDSITES]" KeyPath="yes"/>'], False))
        # True again when the product is removed, so that the value goes with it.
        rows.sql.append("UPDATE `Component` SET `Condition` = 'ALLOWEDSITES OR REMOVE~=\"ALL\"' "
                        "WHERE `Component` = '%s'" % comp)
        transitive.append(comp)
        # Protected mode: the browser's broker starts the agent silently at
        # medium integrity from a protected-mode page, and the control of an
        # administrator's installation needs no add-on prompt.
        check_whole_key_row(PREAPPROVED_KEY + "{9780D491-D11F-4447-889A-C2A0F3280C51}", ids)
        components.append(("Protected" + suffix, "INSTALLDIR", w64, [
            '<RegistryValue Root="HKLM" Key=%s Name="AppName" Type="string" Value="ZedudeVeri.exe" KeyPath="yes"/>' %
            quoteattr(ELEVATION_KEY),
            '<RegistryValue Root="HKLM" Key=%s Name="AppPath" Type="string" Value="[INSTALLDIR]"/>' %
            quoteattr(ELEVATION_KEY),
            '<RegistryValue Root="HKLM" Key=%s Name="Policy" Type="integer" Value="3"/>' % quoteattr(ELEVATION_KEY),
        ], False))
        rid = "reg" + guid(arch, "PreApproved" + suffix).strip("{}").replace("-", "")[:30]
        rows.sql.append("INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) "
                        "VALUES ('%s', 2, '%s{9780D491-D11F-4447-889A-C2A0F3280C51}', '*', 'Protected%s')" %
                        (rid, PREAPPROVED_KEY, suffix))

    # Edge's Internet Explorer mode (IEMODE=1): the site list in the install
    # folder and the two machine policies naming it, in the native view. An
    # organisation's own list is never replaced: a list value that the
    # package did not write (its own copy in SOFTWARE\Zaduze tells) keeps
    # both policies out; an integration level set by others is kept as well.
    # What the package wrote, and only that, goes with the product.
    edge64 = win64
    mine = 'IEMODE = "1" AND (NOT EXISTINGEDGELIST OR EXISTINGEDGELIST = OWNEDEDGELIST)'
    components.append(("EdgeSiteList", "INSTALLDIR", edge64, [
        '<RegistryValue Root="HKLM" Key="SOFTWARE\\Zaduze" Name="EdgeSiteList" Type="string" '
        'Value="[ZVEDGESITELISTURL]" KeyPath="yes"/>',
        '<RegistryValue Root="HKLM" Key=%s Name="InternetExplorerIntegrationSiteList" Type="string" '
        'Value="[ZVEDGESITELISTURL]"/>' % quoteattr(EDGE_POLICIES),
    ], False))
    # The list file is written by a custom action: removed with the component
    # (and before it is written again).
    rows.sql.append("INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, `InstallMode`) "
                    "VALUES ('EdgeSiteListFile', 'EdgeSiteList', 'ZaduzeSiteList.xml', 'INSTALLDIR', 3)")
    components.append(("EdgeLevel", "INSTALLDIR", edge64, [
        '<RegistryValue Root="HKLM" Key="SOFTWARE\\Zaduze" Name="EdgeIntegrationLevel" Type="integer" '
        'Value="1" KeyPath="yes"/>',
        '<RegistryValue Root="HKLM" Key=%s Name="InternetExplorerIntegrationLevel" Type="integer" Value="1"/>' %
        quoteattr(EDGE_POLICIES),
    ], False))
    # At an uninstall IEMODE comes back from the package's own copy (see
    # KeepIEMode below), so the conditions hold exactly where the package
    # wrote the values: a component whose condition is false is left alone
    # even where an installer removes components by their condition.
    conditions = {
        "EdgeSiteList": mine,
        "EdgeLevel": "%s AND (NOT EXISTINGEDGELEVEL OR OWNEDEDGELEVEL)" % mine,
    }
    for comp, cond in sorted(conditions.items()):
        rows.sql.append("UPDATE `Component` SET `Condition` = '%s' WHERE `Component` = '%s'" %
                        (cond.replace("'", "''"), comp))
        transitive.append(comp)

    for comp, _, w64, body, permanent in components:
        attrs = (256 if w64 else 0) + (4 if not any(b.startswith("<File ") for b in body) else 0)
        if permanent:
            attrs += 16
        if comp in transitive:
            attrs += 64
        if permanent or comp in transitive:
            rows.sql.append("UPDATE `Component` SET `Attributes` = %d WHERE `Component` = '%s'" % (attrs, comp))

    # What the machine holds already (raw values; for x64 in the 64-bit view).
    view = 16 if win64 else 0
    searches = [
        ("PREVIOUSALLOWEDSITES", "SOFTWARE\\Zaduze", "AllowedSites"),
        ("EXISTINGEDGELIST", EDGE_POLICIES, "InternetExplorerIntegrationSiteList"),
        ("EXISTINGEDGELEVEL", EDGE_POLICIES, "InternetExplorerIntegrationLevel"),
        ("OWNEDEDGELIST", "SOFTWARE\\Zaduze", "EdgeSiteList"),
        ("OWNEDEDGELEVEL", "SOFTWARE\\Zaduze", "EdgeIntegrationLevel"),
    ]
    for prop, key, name in searches:
        sig = "Sig" + prop.title()
        rows.sql += [
            "INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('%s', '%s')" % (prop, sig),
            "INSERT INTO `RegLocator` (`Signature_`, `Root`, `Key`, `Name`, `Type`) VALUES "
            "('%s', 2, '%s', '%s', %d)" % (sig, key, name, 2 + view),
        ]
    # An upgrade or reinstall without ALLOWEDSITES or IEMODE keeps what is in
    # place: the value found becomes the property unless the command line
    # gives one.
    rows.sql += [
        "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES "
        "('KeepAllowedSites', 51, 'ALLOWEDSITES', '[PREVIOUSALLOWEDSITES]')",
        "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES "
        "('KeepIEMode', 51, 'IEMODE', '1')",
    ]
    for seq in ("InstallExecuteSequence", "InstallUISequence"):
        rows.sql += [
            "INSERT INTO `%s` (`Action`, `Sequence`) VALUES ('AppSearch', 50)" % seq,
            "INSERT INTO `%s` (`Action`, `Condition`, `Sequence`) VALUES "
            "('KeepAllowedSites', 'NOT ALLOWEDSITES AND PREVIOUSALLOWEDSITES', 51)" % seq,
            "INSERT INTO `%s` (`Action`, `Condition`, `Sequence`) VALUES "
            "('KeepIEMode', 'NOT IEMODE AND OWNEDEDGELIST', 52)" % seq,
        ]
    # The site list: its address and text made from INSTALLDIR and
    # ALLOWEDSITES once the folders are known, the file written after the
    # files (as the installer's own account: the install folder is the
    # administrators').
    rows.sql += [
        "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES "
        "('ZvPrepareSiteList', 5, 'ZvSiteListJs', 'ZvPrepareSiteList')",
        "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES "
        "('ZvWriteSiteList', %d, 'ZvSiteListJs', 'ZvWriteSiteList')" % (5 + 1024 + 2048),
        "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES "
        "('ZvPrepareSiteList', 'IEMODE = \"1\"', 1001)",
        "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES "
        "('ZvWriteSiteList', '$EdgeSiteList = 3', 4010)",
    ]
    # Uninstalling (not upgrading) while a snapshot of the user's browser
    # settings is pending: the agent restores it first (for the user who
    # uninstalls; it waits, and its result does not stop the removal), then
    # the logon entry that would start the removed agent goes.
    rows.sql += [
        "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES "
        "('ZvRecoverSettings', %d, 'AgentExe', '-RegistryRecover 1')" % (18 + 64 + 1024),
        "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES "
        "('ZvRemoveRecoverEntry', %d, 'INSTALLDIR', '\"%sreg.exe\" delete %s /v ZaduzeRecover /f')" %
        (34 + 64 + 1024, system, RUN_KEY),
        "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES "
        "('ZvRecoverSettings', 'REMOVE~=\"ALL\" AND NOT UPGRADINGPRODUCTCODE', 1700)",
        "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES "
        "('ZvRemoveRecoverEntry', 'REMOVE~=\"ALL\" AND NOT UPGRADINGPRODUCTCODE', 1701)",
    ]
    # One product per version: a package of the same version (another build,
    # the other architecture) is replaced as an older one is.
    # (The attributes are part of the row's key: the row is written anew.)
    rows.sql += [
        "DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'",
        "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) "
        "VALUES ('%s', '%s', %d, 'WIX_UPGRADE_DETECTED')" % (UPGRADE_CODE, version, 1 + 512),
    ]
    rows.sql.append("UPDATE `Property` SET `Value` = "
                    "'ALLOWEDSITES;EXISTINGEDGELEVEL;EXISTINGEDGELIST;IEMODE;OWNEDEDGELEVEL;OWNEDEDGELIST;"
                    "PREVIOUSALLOWEDSITES;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' "
                    "WHERE `Property` = 'SecureCustomProperties'")

    def comp_xml(c, indent):
        comp, _, w64, body, _ = c
        pad = " " * indent
        return "%s<Component Id=\"%s\" Guid=\"%s\" Win64=\"%s\">\n%s\n%s</Component>" % (
            pad, comp, guid(arch, comp).strip("{}"), "yes" if w64 else "no",
            "\n".join(pad + "  " + b for b in body), pad)

    in_main = [c for c in components if c[1] == "INSTALLDIR"]
    in_32 = [c for c in components if c[1] == "INSTALLDIR32"]
    pf = "ProgramFiles64Folder" if win64 else "ProgramFilesFolder"
    dirs = ('    <Directory Id="TARGETDIR" Name="SourceDir">\n'
            '      <Directory Id="%s">\n        <Directory Id="INSTALLDIR" Name="Zaduze">\n%s\n'
            '        </Directory>\n      </Directory>\n' % (pf, "\n".join(comp_xml(c, 10) for c in in_main)))
    if in_32:
        dirs += ('      <Directory Id="ProgramFilesFolder">\n        <Directory Id="INSTALLDIR32" Name="Zaduze">\n%s\n'
                 '        </Directory>\n      </Directory>\n' % "\n".join(comp_xml(c, 10) for c in in_32))
    dirs += "    </Directory>"
    refs = "\n".join('      <ComponentRef Id="%s"/>' % c[0] for c in components)
    title = "Zaduze exam lockdown" + (" (64-bit)" if win64 else " (32-bit)")
    # Refused with a message: the 32-bit package on 64-bit Windows (one
    # product per machine; removing an older one stays possible), and IE mode
    # without the sites its list is made of.
    launch = []
    if not win64:
        launch.append('    <Condition Message="This package is for 32-bit Windows. On 64-bit Windows install '
                      'Zaduze-%s-x64.msi.">Installed OR NOT VersionNT64</Condition>' % version)
    launch.append('    <Condition Message="IEMODE=1 needs the exam sites: give ALLOWEDSITES as well.">'
                  'REMOVE~=&quot;ALL&quot; OR IEMODE &lt;&gt; &quot;1&quot; OR ALLOWEDSITES</Condition>')
    wxs = """<?xml version="1.0" encoding="utf-8"?>
<!-- Generated by tools/package/make_wxs.py; do not edit. -->
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{product}" Name="{title}" Language="1033" Version="{version}" Manufacturer="Zaduze"
           UpgradeCode="{upgrade}">
    <Package Id="{package}" InstallerVersion="500" Compressed="yes" InstallScope="perMachine"
             Description="{title} {version}" Comments="Exam page control Zaduze.dll and agent ZedudeVeri.exe"/>
    <MajorUpgrade DowngradeErrorMessage="A newer version of Zaduze is already installed."/>
{conditions}
    <Media Id="1" Cabinet="zaduze.cab" EmbedCab="yes"/>
    <Icon Id="ZedudeVeri.ico" SourceFile="{bindir}/ZedudeVeri.ico"/>
    <Property Id="ARPPRODUCTICON" Value="ZedudeVeri.ico"/>
    <Property Id="ARPCOMMENTS" Value="Zaduze.dll (ActiveX control of the exam page) and ZedudeVeri.exe (agent)"/>
    <Property Id="ARPNOMODIFY" Value="1"/>
    <Binary Id="ZvSiteListJs" SourceFile="{bindir}/site_list.js"/>
{dirs}
    <Feature Id="Zaduze" Title="Zaduze" Level="1">
{refs}
    </Feature>
  </Product>
</Wix>
""".format(title=title, version=version, upgrade=UPGRADE_CODE, bindir=bindir, dirs=dirs, refs=refs,
           conditions="\n".join(launch), product="{product}",
           package="{package}")
    # The codes: from the payload and the generated source.
    digest = hashlib.sha256((payload + "\n" + wxs + "\n".join(rows.sql)).encode("utf-8")).hexdigest()
    product = guid(arch, version, digest, "product")
    wxs = wxs.replace("{product}", product).replace("{package}", guid(product, "package"))
    open(out_wxs, "w", encoding="utf-8").write(wxs)
    open(out_sql, "w", encoding="utf-8").write("\n".join(rows.sql) + "\n")


if __name__ == "__main__":
    main()
